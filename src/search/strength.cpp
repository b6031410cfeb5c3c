#include "search/strength.h"

#include <algorithm>
#include <cmath>

constexpr int STRENGTH_BASE_NODES         = 3300; // at STRENGTH_BASE_ELO
constexpr int STRENGTH_BASE_ELO           = 1500;
constexpr int STRENGTH_DOUBLING_ELO       = 115;
constexpr int STRENGTH_STEEP_ELO          = 1700;
constexpr int STRENGTH_STEEP_DOUBLING_ELO = 60;
constexpr int STRENGTH_NOISE              = 6; // centipawns of bonus per 100 points below:
constexpr int STRENGTH_QUIET_ELO          = 1900;
constexpr int STRENGTH_WON_SCORE          = 400; // played out with the best line

std::uint64_t strength_node_budget(int elo)
{
    const double doublings
        = double(std::min(elo, STRENGTH_STEEP_ELO) - STRENGTH_BASE_ELO) / STRENGTH_DOUBLING_ELO
        + double(std::max(elo - STRENGTH_STEEP_ELO, 0)) / STRENGTH_STEEP_DOUBLING_ELO;
    return static_cast<std::uint64_t>(STRENGTH_BASE_NODES * std::exp2(doublings));
}

int weakened_choice(const RootMove* lines, int count, int elo, std::uint64_t& random_state)
{
    if (lines[0].score >= STRENGTH_WON_SCORE)
        return 0;
    const int spread = std::max(STRENGTH_QUIET_ELO - elo, 0) * STRENGTH_NOISE / 100 + 1;
    int chosen = 0, chosen_value = -SCORE_INFINITE;
    for (int i = 0; i < count; ++i) {
        random_state ^= random_state << 13;
        random_state ^= random_state >> 7;
        random_state ^= random_state << 17;
        const int value = lines[i].score + static_cast<int>(random_state % spread);
        if (!(is_decisive(lines[i].score) && lines[i].score < 0) && value > chosen_value) {
            chosen       = i;
            chosen_value = value;
        }
    }
    return chosen;
}
