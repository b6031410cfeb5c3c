// input.h: standard input as a queue of lines.
//
// A small background reader reads lines whole (any length, NUL bytes kept) and ends a line at
// "\n", "\r" or "\r\n", so the command loop sees the same lines whatever the line ends. A
// running search polls the queue between nodes; the reader never interprets a line.
// Where there is no queue (command-line modes, tests), input counts as ended.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

struct InputQueue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::string> lines;
    bool ended;
};

// Starts the reader of standard input, once; later calls return the same queue. It is never
// destroyed: the reader may still be pushing lines while the program exits after "quit".
InputQueue* start_input_reader();

// Blocks for the next line; false at end of input.
bool read_line(InputQueue* input, std::string& line);

// A user's text (a file or folder name) as a reply may echo it: control bytes shown as '?',
// so that it cannot start a line of its own, and cut after 200 bytes, on a UTF-8 character
// boundary, with "..." added. Other bytes stay, so a UTF-8 name reads as it was sent.
std::string shown_text(std::string_view text);

// For a running search, which decides what each line means. The filter runs under the
// queue's lock, on the queued lines oldest first, until it stops.
enum LineVerdict {
    LINE_KEEP, // left in the queue, in order, for after the search
    LINE_DROP, // handled: removed
    LINE_STOP, // stop scanning; the line stays
    LINE_STOP_DROP, // stop scanning; the line is removed
    LINE_BARRIER, // the line and all after it belong to later: left, and not a stop
};
using LineFilter = LineVerdict (*)(const std::string& line, void* context);

// Scans what has arrived without waiting; true when the filter stopped, or when the input
// ended with no barrier before its end.
bool scan_input(InputQueue* input, LineFilter filter, void* context);
// Blocks until scan_input would return true.
void wait_input(InputQueue* input, LineFilter filter, void* context);
