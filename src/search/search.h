// search.h: one search thread's record, and its alpha-beta search (fail-soft PVS) and
// quiescence search.
//
// Scores are centipawns from the side to move's view (SCORE_MATE, types.h). The fifty-move
// and repetition draws count below the root only, so a drawn root still gets a searched move.
// A stopped search returns 0 everywhere and leaves the board as it was at the root; its
// scores are meaningless and the driver discards them. From iteration 2 on, when its node
// count is a multiple of clock.check_mask + 1, the main thread tests its limits
// (control.h); a helper then reads the stop flag.
#pragma once

#include <atomic>

#include "board/board.h"
#include "eval/eval.h"
#include "search/control.h"
#include "search/move_picker.h"

struct PlyRecord {
    std::int32_t static_eval; // SCORE_NONE when the side to move was in check
    Move excluded_move; // skipped by the singular-extension verification search
    Move current_move; // NULL_MOVE while the null-move search runs
    Move pv[MAX_PLY];
    std::int32_t pv_length;
};

// The stack's root uses entry 2, so that plies -1 and -2 read zeroed records.
constexpr int SEARCH_STACK_SIZE = MAX_PLY + 4;
constexpr int ROOT_STACK_INDEX  = 2;

// What one thread owns. The ordering tables and the evaluation caches are kept from search to
// search; the rest is set up by the driver (think.h) for each search.
struct SearchThread {
    int index; // 0 for the main thread
    SearchControl* control; // shared by the search's threads
    Board board; // the root position; every move is made and unmade on it
    // The root moves this line may play, in any order.
    Move root_moves[MAX_MOVES];
    int root_move_count;

    // Written by this thread only; the main thread sums them.
    std::atomic<std::uint64_t> nodes;
    std::atomic<std::uint64_t> tb_hits; // table probes that answered
    int seldepth;
    int iteration_depth;
    bool stopped;
    bool helper_ahead; // the main thread stopped because a helper completed this iteration

    OrderingTables ordering;
    Evaluator evaluator;
    PlyRecord stack[SEARCH_STACK_SIZE];
};

// The search's moves: the board and the network's accumulators move together.
inline void do_move(SearchThread& t, Move move)
{
    make_move(t.board, move);
    push_accumulator(t.evaluator.accumulators, t.board);
}
inline void undo_move(SearchThread& t, Move move)
{
    unmake_move(t.board, move);
    pop_accumulator(t.evaluator.accumulators);
}
inline void do_null_move(SearchThread& t)
{
    make_null_move(t.board);
    push_accumulator(t.evaluator.accumulators, t.board);
}
inline void undo_null_move(SearchThread& t)
{
    unmake_null_move(t.board);
    pop_accumulator(t.evaluator.accumulators);
}

void init_lmr_table();

// `ss` points at this ply's record inside t.stack.
int search(SearchThread& t, PlyRecord* ss, int depth, int alpha, int beta, bool pv_node, int ply);
int quiescence(SearchThread& t, PlyRecord* ss, int alpha, int beta, int ply);
