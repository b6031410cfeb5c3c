// think.h: the search driver: time budget, iterative deepening with aspiration windows from
// depth 5, one `info` line per completed iteration and line, and the choice of the move. It
// runs on the main thread's searcher and starts the helpers (threads.h) on the same root.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "search/search.h"

constexpr int MAX_MULTIPV = 64;
// The ratings a weakened engine plays at (the UCI_Elo option); MAX_ELO is full strength.
constexpr int MIN_ELO = 1350;
constexpr int MAX_ELO = 2100;

// The parameters of "go", and the options that shape a search.
struct SearchLimits {
    std::int32_t wtime;
    std::int32_t btime;
    std::int32_t winc;
    std::int32_t binc;
    std::int32_t movestogo;
    std::int32_t movetime;
    std::int32_t depth;
    std::int32_t nodes;
    std::int32_t mate; // > 0: done once a mate in at most this many moves is found
    bool infinite;
    bool ponder; // the clock starts at the ponder hit
    Move searchmoves[MAX_MOVES]; // the root moves to search; all when there are none
    std::int32_t searchmove_count;

    std::int32_t multipv; // lines to search and print; 0 counts as 1
    std::int32_t move_overhead; // ms kept back from the clock for the GUI and the pipe
    std::int32_t strength_elo; // > 0: play weaker, at about this rating
    bool silent; // no info lines (self-play)
};

struct SearchResult {
    Move best_move; // NO_MOVE only without a legal move
    Move ponder_move; // the expected reply, or NO_MOVE
    std::uint64_t nodes;
    int score; // the chosen line's score, side to move's view; 0 without a completed iteration
    bool stopped; // ended by the poll, the node limit or the hard time limit
};

// Searches a copy of the board, printing the info lines unless silent (never bestmove). `poll`,
// when given, is asked every 1024 nodes from iteration 2 on what happened.
SearchResult think(const Board& board, const SearchLimits& limits, SearchEvent (*poll)() = nullptr);
