// think.h: the search driver: time budget, iterative deepening with aspiration windows from
// depth 5, one `info` line per completed iteration, and the final `bestmove` line.
#pragma once

#include <cstdint>

#include "board/board.h"

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

constexpr std::int64_t UNLIMITED_TIME = (std::int64_t(1) << 62) - 1;
constexpr int MAX_SEARCH_DEPTH        = 127;

struct TimeBudget {
    std::uint64_t start_time;
    std::int64_t soft_limit; // ms after start_time past which no new iteration starts
    std::int64_t hard_limit; // ms after start_time at which the running search stops
};

extern TimeBudget time_budget;
extern Move best_move; // best root move of the last completed iteration

TimeBudget compute_time_budget(const SearchLimits& limits, int side);

// Searches the board (restored on return) and prints the info lines and one bestmove line.
void think(Board& board, const SearchLimits& limits);
