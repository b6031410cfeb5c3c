// threads.h: the search threads. Searcher 0 belongs to the main thread, the one that calls
// think and alone owns the clock, the input and the output; helper threads, started once by
// set_thread_count and kept between searches, own the others. A thread's searcher is its own
// record (board, stack, ordering tables, evaluation caches); the threads share only the
// transposition table.
#pragma once

#include <cstdint>

#include "search/search.h"

constexpr int MAX_THREADS = 256;

// Between searches: starts or ends helpers until there are `count` threads in all (clamped to
// 1..MAX_THREADS). Their searchers start with empty tables.
void set_thread_count(int count);
int thread_count();
Searcher& searcher_of(int index); // 0..thread_count() - 1

// Runs `work` on every helper with its own searcher, and returns at once. Helpers search no
// deeper than `max_depth`.
void start_helpers(void (*work)(Searcher&), int max_depth);
int helper_depth_limit();
// Tells the helpers' searches to stop and waits until every helper is idle.
void stop_helpers();
// Read by the helpers' searches now and then.
bool helpers_told_to_stop();

// The deepest iteration a helper completed in the running search: helpers report each one,
// and the main thread, once a helper is ahead of it, may take that line as its own.
struct HelperLine {
    int depth; // 0 for none yet
    int seldepth;
    int score;
    int pv_length;
    Move pv[MAX_PLY];
};
void report_helper_iteration(const Searcher& s, int depth, int score); // the root's line
int deepest_helper_iteration();
HelperLine deepest_helper_line();

// The nodes and the table hits of the running (or last) search, summed over every thread.
std::uint64_t nodes_of_all_threads();
std::uint64_t tb_hits_of_all_threads();

// Between searches, for every thread: forget the histories, killers and counter moves, and
// empty the evaluation caches; or empty the evaluation caches alone (a change of style).
void clear_search_history();
void clear_eval_caches();
