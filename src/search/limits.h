// limits.h: the parameters of "go" and the time budget they give a search.
#pragma once

#include <cstdint>

#include "board/types.h"

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
};

constexpr std::int64_t UNLIMITED_TIME = (std::int64_t(1) << 62) - 1;

// Milliseconds from the clock's start.
struct TimeBudget {
    std::int64_t soft_limit; // no new iteration starts past it
    std::int64_t hard_limit; // the running search stops at it
};

// The budget of `side`'s move: the clock less `move_overhead`, shared out over the moves
// expected to remain; a fixed move time less a small reserve; unlimited for a search bounded
// otherwise (depth, nodes, infinite, or a mate search without a clock of its own).
TimeBudget time_budget(const SearchLimits& limits, int side, int move_overhead);
