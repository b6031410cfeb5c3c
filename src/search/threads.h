// threads.h: the thread pool: the main thread's record (its owner calls think on it, and it
// alone keeps the clock, reads the input and prints) and the helper threads, each with a
// record of its own, started by set_thread_count and kept between searches; and the search
// control that they share (control.h).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "search/control.h"
#include "search/root.h"
#include "search/search.h"

struct Helper; // a helper thread and its record

// Set up by init_pool and released by free_pool, both on the owner's thread.
struct ThreadPool {
    SearchThread* main; // on the heap for its size
    std::vector<Helper*> helpers;
    SearchControl control;
    RootMoves root; // the main thread's
    // Helpers sleep on `wake` until a new job (or quit) comes; the main thread sleeps on
    // `idle` until `busy` helpers are done with it.
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::uint64_t job;
    void (*work)(SearchThread&);
    int busy;
};

// One thread, empty ordering tables and caches.
void init_pool(ThreadPool& pool);
void free_pool(ThreadPool& pool);

// Between searches: starts or ends helpers until there are `count` threads in all (clamped to
// 1..MAX_THREADS). New helpers start with empty tables.
void set_thread_count(ThreadPool& pool, int count);
inline int thread_count(const ThreadPool& pool)
{
    return 1 + static_cast<int>(pool.helpers.size());
}
SearchThread& thread_of(ThreadPool& pool, int index); // 0..thread_count() - 1

// Runs `work` on every helper's record and returns at once; stop_helpers sets the stop flag
// and waits until every helper is idle.
void start_helpers(ThreadPool& pool, void (*work)(SearchThread&));
void stop_helpers(ThreadPool& pool);

// Between searches, for every thread: forget the histories, killers and counter moves, and
// empty the evaluation caches; or empty the evaluation caches alone (a change of evaluation).
void clear_search_history(ThreadPool& pool);
void clear_eval_caches(ThreadPool& pool);
