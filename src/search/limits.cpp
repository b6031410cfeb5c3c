#include "search/limits.h"

#include <algorithm>

constexpr std::int64_t MOVETIME_RESERVE = 10;

static std::int64_t moves_to_go_guess(std::int64_t time_left)
{
    return time_left < 1000 ? 60 : time_left < 5000 ? 40 : time_left < 15000 ? 30 : 25;
}

TimeBudget time_budget(const SearchLimits& limits, int side, int move_overhead)
{
    const std::int32_t time = side == WHITE ? limits.wtime : limits.btime;
    const std::int32_t inc  = side == WHITE ? limits.winc : limits.binc;
    if (limits.infinite || limits.depth > 0 || limits.nodes > 0
        || (limits.mate > 0 && time <= 0 && limits.movetime <= 0))
        return { UNLIMITED_TIME, UNLIMITED_TIME };
    if (limits.movetime > 0)
        return { limits.movetime - MOVETIME_RESERVE, limits.movetime - MOVETIME_RESERVE };

    const std::int64_t overhead = move_overhead;
    const std::int64_t t = std::max<std::int64_t>((time <= 0 ? overhead : time) - overhead, 10);
    const std::int64_t moves_to_go = limits.movestogo > 0 ? limits.movestogo : moves_to_go_guess(t);

    // The increment term is 32-bit; a huge increment wraps rather than overflowing.
    const auto inc_term     = static_cast<std::int32_t>(static_cast<std::uint32_t>(inc) * 3u) / 4;
    const std::int64_t base = t / moves_to_go + inc_term;
    const std::int64_t hard = std::min(3 * base, (2 * t) / 5);
    const std::int64_t soft = std::min(base, hard);
    return { std::max<std::int64_t>(soft, 5), std::max<std::int64_t>(hard, 10) };
}
