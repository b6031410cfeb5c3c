// search.h: the alpha-beta search (fail-soft PVS) and the quiescence search, on a Searcher:
// the record of everything one search owns, filled by the driver (think.h) and passed down.
//
// Scores are centipawns from the side to move's view (SCORE_MATE, types.h). The fifty-move
// and repetition draws count below the root only, so a drawn root still gets a searched move.
// A stopped search returns 0 everywhere and leaves the board as it was at the root; its
// scores are meaningless and the driver discards them. Every 1024th node (or as check_mask
// says) from iteration 2 on, the main thread's search tests its time and node limits, the
// caller's poll and whether a helper is ahead of it; a helper's tests whether to stop.
#pragma once

#include <atomic>

#include "board/board.h"
#include "eval/eval.h"
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

// What the caller's poll reports.
enum SearchEvent {
    EVENT_NONE,
    EVENT_STOP, // end the search now
    EVENT_PONDERHIT, // the pondered move was played: the clock starts
};

struct Searcher {
    Board board; // the root position; every move is made and unmade on it
    // The root moves this search may play (all legal ones unless restricted), in generation
    // order; a line of a multi-line search leaves out the moves of the lines before it.
    Move root_moves[MAX_MOVES];
    int root_move_count;

    // What ends the search besides its depth. Times are ms after clock_start.
    std::uint64_t start_time; // now_ms() when the search began, for the info lines
    std::uint64_t clock_start; // when the clock began: at the start, or at the ponder hit
    std::int64_t soft_limit; // no new iteration starts past it
    std::int64_t hard_limit; // the running search stops at it
    std::uint64_t node_limit; // 0 for none
    std::uint64_t check_mask; // limits are tested when nodes & check_mask is 0
    bool pondering; // the clock waits for the ponder hit, which brings these limits:
    std::int64_t ponder_soft_limit;
    std::int64_t ponder_hard_limit;
    SearchEvent (*poll)(); // asked what happened, or nullptr
    // The main thread may leave an iteration that a helper has already completed.
    bool follows_helpers;

    // Endgame tables are probed at nodes with at most this many pieces (0: never).
    int tb_pieces;

    // The running search. Only the owning thread writes `nodes` and `tb_hits` (the table
    // probes that answered); the main thread sums them.
    std::atomic<std::uint64_t> nodes;
    std::atomic<std::uint64_t> tb_hits;
    int seldepth;
    int iteration_depth;
    bool stopped;
    bool helper_ahead; // stopped only because a helper completed this iteration first

    int thread_index; // 0 for the main thread; a helper only obeys helpers_told_to_stop
    OrderingTables ordering; // kept from search to search
    EvalCache eval_cache;
    // The Neural style's accumulators, one entry per move made below the root (think.h
    // resets them at the root); untouched with the other styles.
    AccumulatorStack accumulators;
    PlyRecord stack[SEARCH_STACK_SIZE];
};

void init_lmr_table();

// The ponder hit: the clock starts now, with the limits kept for it.
void start_clock(Searcher& s);

// `ss` points at this ply's record inside s.stack.
int search(Searcher& s, PlyRecord* ss, int depth, int alpha, int beta, bool pv_node, int ply);
int quiescence(Searcher& s, PlyRecord* ss, int alpha, int beta, int ply);
