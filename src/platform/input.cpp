#include "platform/input.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

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

// Reads standard input below stdio, straight from the descriptor: a thread blocked inside a
// stdio read holds that stream's lock, and the Windows C runtime takes every stream's lock
// when the program exits, so after "quit" the engine would hang until the GUI closed the pipe.
// Returns the number of bytes read, 0 at the end of input.
static long read_input(char* buffer, unsigned size)
{
#ifdef _WIN32
    return _read(0, buffer, size);
#else
    long count;
    do
        count = static_cast<long>(read(0, buffer, size));
    while (count < 0 && errno == EINTR);
    return count;
#endif
}

static void reader_main()
{
#ifdef _WIN32
    // Bytes as sent: line ends are handled below, and a Ctrl-Z must not end the input.
    _setmode(0, _O_BINARY);
#endif
    // "\n", "\r" and "\r\n" each end one line; a carriage return never adds an empty line.
    std::string line;
    bool after_cr = false;
    char buffer[4096];
    long count;
    while ((count = read_input(buffer, sizeof buffer)) > 0) {
        for (long i = 0; i < count; ++i) {
            const char c = buffer[i];
            if (c == '\r') {
                if (!line.empty())
                    push_line(std::move(line));
                line.clear();
            } else if (c == '\n') {
                if (!after_cr)
                    push_line(std::move(line));
                line.clear();
            } else {
                line += c;
            }
            after_cr = c == '\r';
        }
    }
    if (!line.empty())
        push_line(std::move(line));
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
