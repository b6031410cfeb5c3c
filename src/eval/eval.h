// eval.h: the static evaluation, in centipawns from the side to move's point of view.
// With the PeSTO and Linear styles, a tapered sum of material, piece-square values and the
// terms of terms.h, with recognised draws, a tempo bonus, a lone-king mop-up bonus and an
// end-game scale factor; with the Neural style, the network's output (nnue.h) within
// EVAL_LIMIT, with the same recognised draws.
#pragma once

#include "board/board.h"
#include "eval/nnue.h"

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

// In a search: `accumulators` follow the board (push_move and pop_move), used by Neural only.
int evaluate(const Board& board, EvalCache& cache, AccumulatorStack& accumulators);
// Neural computes the network from scratch; the other styles as above.
int evaluate(const Board& board, EvalCache& cache);
// Without a cache, for evaluations outside a search: the same score.
int evaluate(const Board& board);

// knights + bishops + 2 * rooks + 4 * queens of both colours, capped at MAX_PHASE.
int game_phase(const Board& board);

// The `eval` command: phase, the main terms, king safety and the total; with Neural, the
// network's score and what each piece adds to it.
void eval_trace(const Board& board);
