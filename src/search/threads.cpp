#include "search/threads.h"

#include <algorithm>
#include <thread>

#include "platform/clock.h"

struct Helper {
    SearchThread record;
    std::thread thread;
    std::uint64_t jobs_done; // the pool's job count it has caught up with, under its lock
    bool quit;
};

static void helper_main(ThreadPool* pool, Helper* helper)
{
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
        pool->wake.wait(lock, [&] { return helper->quit || pool->job != helper->jobs_done; });
        if (helper->quit)
            return;
        helper->jobs_done = pool->job;
        lock.unlock();
        pool->work(helper->record);
        lock.lock();
        if (--pool->busy == 0)
            pool->idle.notify_all();
    }
}

// A thread's record with empty tables, registered with the control.
static void init_thread(ThreadPool& pool, SearchThread& t, int index)
{
    t.index   = index;
    t.control = &pool.control;
    clear_ordering(t.ordering);
    clear_eval_cache(t.evaluator.cache);
    pool.control.nodes[index]   = &t.nodes;
    pool.control.tb_hits[index] = &t.tb_hits;
}

static void end_helpers(ThreadPool& pool)
{
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
    pool.control.thread_count = 1;
}

void init_pool(ThreadPool& pool)
{
    pool.main = new SearchThread();
    init_thread(pool, *pool.main, 0);
    pool.control.thread_count    = 1;
    pool.control.strength_random = now_ms() | 1;
}

void free_pool(ThreadPool& pool)
{
    end_helpers(pool);
    delete pool.main;
    pool.main = nullptr;
}

void set_thread_count(ThreadPool& pool, int count)
{
    count = std::clamp(count, 1, MAX_THREADS);
    if (count == thread_count(pool))
        return;
    end_helpers(pool);
    for (int index = 1; index < count; ++index) {
        Helper* helper    = new Helper();
        helper->jobs_done = pool.job; // a new helper waits for the next search
        init_thread(pool, helper->record, index);
        helper->thread = std::thread(helper_main, &pool, helper);
        pool.helpers.push_back(helper);
    }
    pool.control.thread_count = count;
}

SearchThread& thread_of(ThreadPool& pool, int index)
{
    return index == 0 ? *pool.main : pool.helpers[index - 1]->record;
}

void start_helpers(ThreadPool& pool, void (*work)(SearchThread&))
{
    if (pool.helpers.empty())
        return;
    forget_helper_lines(pool.control);
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.control.stop.store(false, std::memory_order_relaxed);
    pool.work = work;
    pool.busy = static_cast<int>(pool.helpers.size());
    ++pool.job;
    pool.wake.notify_all();
}

void stop_helpers(ThreadPool& pool)
{
    pool.control.stop.store(true, std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(pool.mutex);
    pool.idle.wait(lock, [&] { return pool.busy == 0; });
}

void clear_search_history(ThreadPool& pool)
{
    for (int index = 0; index < thread_count(pool); ++index)
        clear_ordering(thread_of(pool, index).ordering);
    clear_eval_caches(pool);
}

void clear_eval_caches(ThreadPool& pool)
{
    for (int index = 0; index < thread_count(pool); ++index)
        clear_eval_cache(thread_of(pool, index).evaluator.cache);
}
