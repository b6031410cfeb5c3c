#include "platform/input.h"

#include <cerrno>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

std::string shown_text(std::string_view text)
{
    constexpr std::size_t MOST_SHOWN = 200;
    std::size_t length               = text.size();
    if (length > MOST_SHOWN) {
        length = MOST_SHOWN;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xc0) == 0x80)
            --length;
    }
    std::string shown(text.substr(0, length));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return length < text.size() ? shown + "..." : shown;
}

static void push_line(InputQueue& input, std::string&& line)
{
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

static void reader_main(InputQueue* queue)
{
    InputQueue& input = *queue;
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
                    push_line(input, std::move(line));
                line.clear();
            } else if (c == '\n') {
                if (!after_cr)
                    push_line(input, std::move(line));
                line.clear();
            } else {
                line += c;
            }
            after_cr = c == '\r';
        }
    }
    if (!line.empty())
        push_line(input, std::move(line));
    std::lock_guard<std::mutex> lock(input.mutex);
    input.ended = true;
    input.ready.notify_all();
}

// There is one standard input: its queue is made and its reader started once per process.
// Detached, since at exit it may still be blocked in a read, which must not hold the process.
InputQueue* start_input_reader()
{
    static InputQueue* const input = [] {
        auto* queue = new InputQueue();
        std::thread(reader_main, queue).detach();
        return queue;
    }();
    return input;
}

bool read_line(InputQueue* input, std::string& line)
{
    if (!input)
        return false;
    std::unique_lock<std::mutex> lock(input->mutex);
    input->ready.wait(lock, [&] { return !input->lines.empty() || input->ended; });
    if (input->lines.empty())
        return false;
    line = std::move(input->lines.front());
    input->lines.pop_front();
    return true;
}

// Caller holds input.mutex.
static bool scan_locked(InputQueue& input, LineFilter filter, void* context)
{
    for (auto it = input.lines.begin(); it != input.lines.end();) {
        const LineVerdict verdict = filter(*it, context);
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

bool scan_input(InputQueue* input, LineFilter filter, void* context)
{
    if (!input)
        return true;
    std::lock_guard<std::mutex> lock(input->mutex);
    return scan_locked(*input, filter, context);
}

void wait_input(InputQueue* input, LineFilter filter, void* context)
{
    if (!input)
        return;
    std::unique_lock<std::mutex> lock(input->mutex);
    while (!scan_locked(*input, filter, context))
        input->ready.wait(lock);
}
