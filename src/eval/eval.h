// eval.h: the static evaluation, in centipawns from the side to move's point of view.
// With the PeSTO and Linear styles, a tapered sum of material, the board's piece-square values
// and the terms of terms.h, with material draws (board/rules.h), a tempo bonus, a lone-king
// mop-up bonus and an end-game scale factor; with the Neural style, the network's output
// (nnue.h) within EVAL_LIMIT, with the same material draws.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/board.h"
#include "eval/nnue.h"
#include "eval/psq.h"

constexpr int MAX_PHASE = 24;

#include "eval/terms.h"

constexpr int EVAL_CACHE_BITS = 16;

// One search thread's caches: evaluations by position key (2^16 slots, 512 KB) and pawn
// structures by pawn key. Each thread owns its own, so none needs a lock. Cleared with the
// hash table and after a change of style, so that no search depends on what ran before it.
struct EvalCache {
    std::uint64_t scores[std::size_t(1) << EVAL_CACHE_BITS];
    PawnEntry pawns[PAWN_CACHE_SIZE];
};
void clear_eval_cache(EvalCache& cache);

// One search thread's evaluation: the style's network (nullptr with the other styles), the
// caches and the accumulators, which follow the board (push_accumulator, pop_accumulator),
// with their refresh cache.
struct Evaluator {
    const Network* network;
    EvalCache cache;
    AccumulatorStack accumulators;
    RefreshCache refresh;
};

// A debugging aid that tests switch on: every network evaluation in a search then also computes
// the accumulator from scratch and counts the times the incremental one differs, on any thread.
struct AccumulatorAudit {
    std::atomic<bool> on;
    std::atomic<std::uint64_t> checked, differed;
};
extern AccumulatorAudit accumulator_audit;

// At a search's root: the style's square values on `root`, and with Neural `network`, which
// must then be given.
void start_evaluation(Evaluator& evaluator, Board& root, EvalStyle style, const Network* network);
int evaluate(const Board& board, Evaluator& evaluator);
// Outside a search: the network's score from scratch when one is given, else the classic
// evaluation over the board's square values; the same score as in a search.
int evaluate(const Board& board, const Network* network);

// knights + bishops + 2 * rooks + 4 * queens of both colours, capped at MAX_PHASE.
int game_phase(const Board& board);

// The `eval` command: phase, the main terms, king safety and the total over the board's square
// values; with a network, its score and what each piece adds to it.
void eval_trace(const Board& board, const Network* network);
