// think.h: the search driver: iterative deepening with aspiration windows from depth 5, lines
// for MultiPV, the strength limit, the endgame tables' root ranking, and the helper threads,
// which search the same root and whose deeper line the main thread may take over. What it
// reports goes through the caller's hooks: an info callback per completed line, and a poll
// for the input.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "search/limits.h"
#include "search/threads.h"
#include "search/tt.h"

// The options that shape a search, read when it starts.
struct SearchSetup {
    int multipv; // lines to search and report; 0 counts as 1
    int move_overhead; // ms kept back from the clock for the GUI and the pipe
    int strength_elo; // > 0: play weaker, at about this rating (strength.h)
    EvalStyle style;
    const Network* network; // the Neural style's
    TablebaseSettings tables; // pieces 0: no tables
};

// One line of a completed iteration.
struct SearchInfo {
    const Board* root; // the position searched
    int depth;
    int seldepth;
    int multipv; // the line's number, or 0 when only one line is searched
    bool last; // the iteration's last line
    int score; // side to move's view
    bool proven; // the endgame tables' result for the line's move, not a search score
    std::uint64_t nodes; // every thread's
    std::uint64_t nps;
    std::int64_t time; // ms since the search began
    std::uint64_t tb_hits;
    const Move* pv;
    int pv_length;
};

struct SearchHooks {
    // Asked now and then from iteration 2 on what happened; nullptr for nothing.
    SearchEvent (*poll)(void* context);
    // Told each line of each completed iteration; nullptr to stay silent.
    void (*info)(void* context, const SearchInfo& info);
    // Told the root move the main thread starts on, at most every CURRMOVE_INTERVAL ms once
    // the search has run CURRMOVE_DELAY ms (control.h); nullptr for never.
    void (*currmove)(void* context, int depth, Move move, int number);
    void* context;
};

struct SearchResult {
    Move best_move; // NO_MOVE only without a legal move
    Move ponder_move; // the expected reply, or NO_MOVE
    std::uint64_t nodes;
    int score; // the chosen line's score, side to move's view; 0 without a completed iteration
    bool stopped; // ended by the poll, the node limit or the hard time limit
};

// Searches `board` on the pool's threads, with `tt` (never prints bestmove).
SearchResult think(ThreadPool& pool, TranspositionTable& tt, const Board& board,
    const SearchLimits& limits, const SearchSetup& setup, const SearchHooks& hooks);
