#include "platform/input.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

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
    InputState& input = input_state();
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
static bool scan_locked(InputState& input, LineFilter filter)
{
    if (!input.started)
        return true;
    for (auto it = input.lines.begin(); it != input.lines.end();) {
        const LineVerdict verdict = filter(*it);
        if (verdict == LINE_BARRIER)
            return false;
        if (verdict == LINE_DROP || verdict == LINE_STOP_DROP)
            it = input.lines.erase(it);
        else
            ++it;
        if (verdict == LINE_STOP || verdict == LINE_STOP_DROP)
            return true;
    }
    return input.ended;
}

bool scan_input(LineFilter filter)
{
    InputState& input = input_state();
    std::lock_guard<std::mutex> lock(input.mutex);
    return scan_locked(input, filter);
}

void wait_input(LineFilter filter)
{
    InputState& input = input_state();
    std::unique_lock<std::mutex> lock(input.mutex);
    while (!scan_locked(input, filter))
        input.ready.wait(lock);
}
