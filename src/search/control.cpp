#include "search/control.h"

#include <algorithm>

#include "platform/clock.h"

static std::uint64_t sum(const std::atomic<std::uint64_t>* const* counters, int count)
{
    std::uint64_t total = 0;
    for (int i = 0; i < count; ++i)
        total += counters[i]->load(std::memory_order_relaxed);
    return total;
}

std::uint64_t total_nodes(const SearchControl& control)
{
    return sum(control.nodes, control.thread_count);
}

std::uint64_t total_tb_hits(const SearchControl& control)
{
    return sum(control.tb_hits, control.thread_count);
}

// A helper line's depth and score in one word, so that both are read together.
static std::uint32_t line_key(int depth, int score)
{
    return static_cast<std::uint32_t>(depth) << 16 | static_cast<std::uint32_t>(score + 32768);
}

static int key_depth(std::uint32_t key) { return static_cast<int>(key >> 16); }

static int key_score(std::uint32_t key) { return static_cast<int>(key & 0xFFFF) - 32768; }

void start_clock(SearchClock& clock)
{
    if (!clock.pondering)
        return;
    clock.pondering   = false;
    clock.clock_start = now_ms();
    clock.soft_limit  = clock.ponder_soft_limit;
    clock.hard_limit  = clock.ponder_hard_limit;
}

bool main_thread_should_stop(SearchControl& control, int iteration_depth, bool& helper_ahead)
{
    SearchClock& clock      = control.clock;
    const SearchEvent event = clock.poll != nullptr ? clock.poll(clock.context) : EVENT_NONE;
    if (event == EVENT_PONDERHIT)
        start_clock(clock);
    const auto elapsed = static_cast<std::int64_t>(now_ms() - clock.clock_start);
    if (event == EVENT_STOP || elapsed >= clock.hard_limit
        || (clock.node_limit != 0 && total_nodes(control) >= clock.node_limit))
        return true;
    const std::uint32_t deepest = control.deepest.load(std::memory_order_relaxed);
    helper_ahead                = clock.follows_helpers && key_depth(deepest) >= iteration_depth
        && key_score(deepest) >= clock.completed_score;
    return helper_ahead;
}

void forget_helper_lines(SearchControl& control)
{
    std::lock_guard<std::mutex> lock(control.line_mutex);
    control.deepest_line.depth = 0;
    control.deepest.store(0, std::memory_order_relaxed);
}

void report_helper_iteration(
    SearchControl& control, int depth, int seldepth, int score, const Move* pv, int pv_length)
{
    if (depth <= key_depth(control.deepest.load(std::memory_order_relaxed)))
        return;
    std::lock_guard<std::mutex> lock(control.line_mutex);
    if (depth <= control.deepest_line.depth || pv_length <= 0)
        return;
    HelperLine& line = control.deepest_line;
    line.depth       = depth;
    line.seldepth    = seldepth;
    line.score       = score;
    line.pv_length   = pv_length;
    std::copy(pv, pv + pv_length, line.pv);
    control.deepest.store(line_key(depth, score), std::memory_order_relaxed);
}

HelperLine deepest_helper_line(SearchControl& control)
{
    std::lock_guard<std::mutex> lock(control.line_mutex);
    return control.deepest_line;
}
