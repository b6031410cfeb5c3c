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

// The other ends of a running search, tested together with the hard time limit.
extern std::uint64_t node_limit; // stop once this many nodes are searched; 0 for none
extern bool poll_for_stop; // an open-ended search: poll the input for "stop"

// The score of an info line: "cp 20", "mate 2" (giving mate), "mate -1" (getting mated).
struct ScoreText {
    char str[24];
};
ScoreText score_to_uci(int score);

// Aspiration window of the iterations from depth 5 on.
struct AspirationWindow {
    int alpha;
    int beta;
    int delta;
};
AspirationWindow initial_aspiration_window(int previous_score);
// After a search in the window returned `score`: false when the score lies inside it; else
// widens the side that failed by delta, doubles delta, and returns true.
bool widen_aspiration_window(AspirationWindow& window, int score);

TimeBudget compute_time_budget(const SearchLimits& limits, int side);

// Searches the board (restored on return) and prints the info lines and one bestmove line.
void think(Board& board, const SearchLimits& limits);
