#include "platform/input.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

static std::mutex input_mutex;
static std::condition_variable input_ready;
static std::deque<std::string> pending_lines;
static bool reader_started = false;
static bool input_ended    = false;

static void push_line(std::string&& line)
{
    std::lock_guard<std::mutex> lock(input_mutex);
    pending_lines.push_back(std::move(line));
    input_ready.notify_all();
}

static void reader_main()
{
    std::string raw;
    while (std::getline(std::cin, raw)) {
        // A carriage return also ends a line, so "\r\n" and old "\r" files read alike.
        std::size_t start = 0;
        while (start <= raw.size()) {
            const std::size_t cr = raw.find('\r', start);
            if (cr == std::string::npos) {
                push_line(raw.substr(start));
                break;
            }
            if (cr > start)
                push_line(raw.substr(start, cr - start));
            start = cr + 1;
            if (start == raw.size())
                break;
        }
    }
    std::lock_guard<std::mutex> lock(input_mutex);
    input_ended = true;
    input_ready.notify_all();
}

void start_input_reader()
{
    std::lock_guard<std::mutex> lock(input_mutex);
    if (reader_started)
        return;
    reader_started = true;
    // Detached: at exit it may still be blocked in a read, which must not hold the process.
    std::thread(reader_main).detach();
}

bool read_line(std::string& line)
{
    std::unique_lock<std::mutex> lock(input_mutex);
    if (!reader_started)
        return false;
    input_ready.wait(lock, [] { return !pending_lines.empty() || input_ended; });
    if (pending_lines.empty())
        return false;
    line = std::move(pending_lines.front());
    pending_lines.pop_front();
    return true;
}

// Caller holds input_mutex.
static bool scan_for_stop()
{
    if (!reader_started)
        return true;
    for (auto it = pending_lines.begin(); it != pending_lines.end();) {
        if (*it == "isready") {
            std::printf("readyok\n");
            std::fflush(stdout);
            it = pending_lines.erase(it);
        } else if (*it == "stop") {
            pending_lines.erase(it);
            return true;
        } else if (*it == "quit") {
            return true;
        } else {
            ++it;
        }
    }
    return input_ended;
}

bool stop_requested()
{
    std::lock_guard<std::mutex> lock(input_mutex);
    return scan_for_stop();
}

void wait_for_stop()
{
    std::unique_lock<std::mutex> lock(input_mutex);
    while (!scan_for_stop())
        input_ready.wait(lock);
}
