// think.h: the search driver: time budget, iterative deepening with aspiration windows from
// depth 5, and one `info` line per completed iteration. It owns the one Searcher, whose
// move-ordering tables live from search to search.
#pragma once

#include <cstdint>

#include "board/board.h"

// The parameters of "go".
struct SearchLimits {
    std::int32_t wtime;
    std::int32_t btime;
    std::int32_t winc;
    std::int32_t binc;
    std::int32_t movestogo;
    std::int32_t movetime;
    std::int32_t depth;
    std::int32_t nodes;
    bool infinite;
};

struct SearchResult {
    Move best_move; // NO_MOVE only without a legal move
    std::uint64_t nodes;
    bool stopped; // ended by the poll, the node limit or the hard time limit
};

// Searches a copy of the board, printing the info lines (not bestmove). `poll`, when given,
// is asked every 1024 nodes from iteration 2 on whether to stop.
SearchResult think(const Board& board, const SearchLimits& limits, bool (*poll)() = nullptr);

// Forgets the histories, killers and counter moves (new game, each bench position).
void clear_search_history();
