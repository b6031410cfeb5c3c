// threads.cpp: the helper threads and their searchers.
#include "search/threads.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "eval/eval.h"

struct Helper {
    Searcher searcher;
    std::thread thread;
    std::uint64_t jobs_done; // the pool's job count it has caught up with, under its lock
    bool quit = false;
};

// Helpers sleep on `wake` until a new job (or quit) comes; the main thread sleeps on `idle`
// until `busy` helpers are done with it.
struct Pool {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::uint64_t job       = 0;
    void (*work)(Searcher&) = nullptr;
    int busy                = 0;
    std::atomic<bool> stop { false };
    int max_depth = 0; // set before each job
    std::vector<Helper*> helpers;
    std::mutex line_mutex; // guards deepest_line
    HelperLine deepest_line {};
    std::atomic<int> deepest { 0 }; // deepest_line.depth, readable without the lock
};

// Never destroyed: helpers may still wait on it while the program exits without ending them.
static Pool& thread_pool()
{
    static Pool* const pool = new Pool;
    return *pool;
}

// Big (about 3 MB, mostly the continuation history): static, so that nothing is allocated per
// search and the tables outlive each search.
static Searcher main_searcher;

static void helper_main(Helper* helper)
{
    Pool& pool = thread_pool();
    std::unique_lock<std::mutex> lock(pool.mutex);
    for (;;) {
        pool.wake.wait(lock, [&] { return helper->quit || pool.job != helper->jobs_done; });
        if (helper->quit)
            return;
        helper->jobs_done = pool.job;
        lock.unlock();
        pool.work(helper->searcher);
        lock.lock();
        if (--pool.busy == 0)
            pool.idle.notify_all();
    }
}

static void end_helpers()
{
    Pool& pool = thread_pool();
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        for (Helper* helper : pool.helpers)
            helper->quit = true;
    }
    pool.wake.notify_all();
    for (Helper* helper : pool.helpers) {
        helper->thread.join();
        delete helper;
    }
    pool.helpers.clear();
}

void set_thread_count(int count)
{
    Pool& pool = thread_pool();
    count      = std::clamp(count, 1, MAX_THREADS);
    if (count == thread_count())
        return;
    end_helpers();
    for (int index = 1; index < count; ++index) {
        Helper* helper                = new Helper();
        helper->searcher.thread_index = index;
        helper->jobs_done             = pool.job; // a new helper waits for the next search
        clear_eval_cache(helper->searcher.eval_cache);
        helper->thread = std::thread(helper_main, helper);
        pool.helpers.push_back(helper);
    }
}

int thread_count() { return 1 + static_cast<int>(thread_pool().helpers.size()); }

Searcher& searcher_of(int index)
{
    Pool& pool = thread_pool();
    return index == 0 ? main_searcher : pool.helpers[index - 1]->searcher;
}

void start_helpers(void (*work)(Searcher&), int max_depth)
{
    Pool& pool = thread_pool();
    if (pool.helpers.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(pool.line_mutex);
        pool.deepest_line.depth = 0;
        pool.deepest.store(0, std::memory_order_relaxed);
    }
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.stop.store(false, std::memory_order_relaxed);
    pool.max_depth = max_depth;
    pool.work      = work;
    pool.busy      = static_cast<int>(pool.helpers.size());
    ++pool.job;
    pool.wake.notify_all();
}

void stop_helpers()
{
    Pool& pool = thread_pool();
    pool.stop.store(true, std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(pool.mutex);
    pool.idle.wait(lock, [&] { return pool.busy == 0; });
}

int helper_depth_limit() { return thread_pool().max_depth; }

void report_helper_iteration(const Searcher& s, int depth, int score)
{
    Pool& pool = thread_pool();
    if (depth <= pool.deepest.load(std::memory_order_relaxed))
        return;
    const PlyRecord& root = s.stack[ROOT_STACK_INDEX];
    std::lock_guard<std::mutex> lock(pool.line_mutex);
    if (depth <= pool.deepest_line.depth || root.pv_length <= 0)
        return;
    HelperLine& line = pool.deepest_line;
    line.depth       = depth;
    line.seldepth    = s.seldepth;
    line.score       = score;
    line.pv_length   = root.pv_length;
    std::copy(root.pv, root.pv + root.pv_length, line.pv);
    pool.deepest.store(depth, std::memory_order_relaxed);
}

int deepest_helper_iteration() { return thread_pool().deepest.load(std::memory_order_relaxed); }

HelperLine deepest_helper_line()
{
    Pool& pool = thread_pool();
    std::lock_guard<std::mutex> lock(pool.line_mutex);
    return pool.deepest_line;
}

bool helpers_told_to_stop() { return thread_pool().stop.load(std::memory_order_relaxed); }

static std::uint64_t sum_of_all_threads(std::atomic<std::uint64_t> Searcher::*counter)
{
    Pool& pool        = thread_pool();
    std::uint64_t sum = (main_searcher.*counter).load(std::memory_order_relaxed);
    for (const Helper* helper : pool.helpers)
        sum += (helper->searcher.*counter).load(std::memory_order_relaxed);
    return sum;
}

std::uint64_t nodes_of_all_threads() { return sum_of_all_threads(&Searcher::nodes); }
std::uint64_t tb_hits_of_all_threads() { return sum_of_all_threads(&Searcher::tb_hits); }

void clear_search_history()
{
    for (int index = 0; index < thread_count(); ++index)
        clear_ordering(searcher_of(index).ordering);
    clear_eval_caches();
}

void clear_eval_caches()
{
    for (int index = 0; index < thread_count(); ++index)
        clear_eval_cache(searcher_of(index).eval_cache);
}
