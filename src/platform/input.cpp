#include "platform/input.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

// The reader may still be pushing lines while the program exits after "quit", so its state
// lives on the heap and is never destroyed: static objects would be freed under it.
struct InputState {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::string> lines;
    bool started = false;
    bool ended   = false;
};

static InputState& input_state()
{
    static InputState* const state = new InputState;
    return *state;
}

static void push_line(std::string&& line)
{
    InputState& input = input_state();
    std::lock_guard<std::mutex> lock(input.mutex);
    input.lines.push_back(std::move(line));
    input.ready.notify_all();
}

static void reader_main()
{
    InputState& input = input_state();
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
    std::lock_guard<std::mutex> lock(input.mutex);
    input.ended = true;
    input.ready.notify_all();
}

void start_input_reader()
{
    InputState& input = input_state();
    std::lock_guard<std::mutex> lock(input.mutex);
    if (input.started)
        return;
    input.started = true;
    // Detached: at exit it may still be blocked in a read, which must not hold the process.
    std::thread(reader_main).detach();
}

bool read_line(std::string& line)
{
    InputState& input = input_state();
    std::unique_lock<std::mutex> lock(input.mutex);
    if (!input.started)
        return false;
    input.ready.wait(lock, [&] { return !input.lines.empty() || input.ended; });
    if (input.lines.empty())
        return false;
    line = std::move(input.lines.front());
    input.lines.pop_front();
    return true;
}

// Caller holds input.mutex.
static bool scan_for_stop()
{
    InputState& input = input_state();
    if (!input.started)
        return true;
    for (auto it = input.lines.begin(); it != input.lines.end();) {
        if (*it == "isready") {
            std::printf("readyok\n");
            std::fflush(stdout);
            it = input.lines.erase(it);
        } else if (*it == "stop") {
            input.lines.erase(it);
            return true;
        } else if (*it == "quit") {
            return true;
        } else {
            ++it;
        }
    }
    return input.ended;
}

bool stop_requested()
{
    InputState& input = input_state();
    std::lock_guard<std::mutex> lock(input.mutex);
    return scan_for_stop();
}

void wait_for_stop()
{
    InputState& input = input_state();
    std::unique_lock<std::mutex> lock(input.mutex);
    while (!scan_for_stop())
        input.ready.wait(lock);
}
