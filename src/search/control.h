// control.h: what the threads of one search share, owned by the thread pool (threads.h): the
// stop flag, the helpers' deepest line, the search's settings and every thread's counters; and
// the main thread's clock, which it alone reads and writes. A helper's only limit is the stop
// flag: the main thread checks time, nodes and input for all of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "board/types.h"
#include "eval/psq.h"
#include "tablebase/tablebase.h"

constexpr int MAX_THREADS = 256;

struct Network;
struct TranspositionTable;

// What the caller's poll reports.
enum SearchEvent {
    EVENT_NONE,
    EVENT_STOP, // end the search now
    EVENT_PONDERHIT, // the pondered move was played: the clock starts
};

// A long search tells a GUI which root move it is on: from this many ms, at most every so many.
constexpr std::uint64_t CURRMOVE_DELAY    = 3000;
constexpr std::uint64_t CURRMOVE_INTERVAL = 250;

// The main thread's limits. Times are ms after clock_start.
struct SearchClock {
    std::uint64_t start_time; // now_ms() when the search began, for the info lines
    std::uint64_t clock_start; // when the clock began: at the start, or at the ponder hit
    std::int64_t soft_limit; // no new iteration starts past it
    std::int64_t hard_limit; // the running search stops at it
    std::uint64_t node_limit; // 0 for none; the sum over every thread
    std::uint64_t check_mask; // limits are tested when a node count & check_mask is 0
    bool pondering; // the clock waits for the ponder hit, which brings these limits:
    std::int64_t ponder_soft_limit;
    std::int64_t ponder_hard_limit;
    SearchEvent (*poll)(void* context); // asked what happened, or nullptr
    // Told, now and then once the search has run a while, the root move it starts on.
    void (*currmove)(void* context, int depth, Move move, int number);
    void* context; // of both
    std::uint64_t next_currmove; // now_ms() before which no root move is told
    // The main thread may leave an iteration that a helper has already completed, when the
    // helper's line scores at least the main thread's last completed one: a helper that
    // missed what the main thread found (a mate) never replaces it.
    bool follows_helpers;
    int completed_score;
};

// The deepest iteration a helper completed in the running search, with its root line.
struct HelperLine {
    int depth; // 0 for none yet
    int seldepth;
    int score;
    int pv_length;
    Move pv[MAX_PLY];
};

struct SearchControl {
    SearchClock clock;
    std::atomic<bool> stop; // helpers end their search when it is set
    int helper_max_depth;

    // Set for each search, read by every thread.
    EvalStyle style;
    const Network* network; // the Neural style's
    TranspositionTable* tt;
    TablebaseSettings tables;

    // Each thread's counters, written by their thread only.
    const std::atomic<std::uint64_t>* nodes[MAX_THREADS];
    const std::atomic<std::uint64_t>* tb_hits[MAX_THREADS];
    int thread_count;

    std::mutex line_mutex; // guards deepest_line
    HelperLine deepest_line;
    std::atomic<std::uint32_t> deepest; // deepest_line's depth and score, readable without the lock

    std::uint64_t strength_random; // the weakened engine's choices (strength.h)
};

// The nodes and the table hits of the running (or last) search, over every thread.
std::uint64_t total_nodes(const SearchControl& control);
std::uint64_t total_tb_hits(const SearchControl& control);

// The ponder hit: the clock starts now, with the limits kept for it.
void start_clock(SearchClock& clock);

// The main thread's test, now and then from its second iteration on: asks the poll, starts the
// clock at a ponder hit, and says whether to stop: at the poll's stop, the hard time limit or
// the node limit, or (setting `helper_ahead`) when a helper has completed `iteration_depth`
// with a score of at least `completed_score`, and the main thread may take its line.
bool main_thread_should_stop(SearchControl& control, int iteration_depth, bool& helper_ahead);

// Helpers report each completed iteration; a deeper one than any before becomes the line.
void forget_helper_lines(SearchControl& control);
void report_helper_iteration(
    SearchControl& control, int depth, int seldepth, int score, const Move* pv, int pv_length);
HelperLine deepest_helper_line(SearchControl& control);
