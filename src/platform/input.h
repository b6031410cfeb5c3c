// input.h: standard input as a queue of lines.
//
// A small background reader reads lines whole (any length, NUL bytes kept) and ends a line at
// "\n", "\r" or "\r\n", so the command loop sees the same lines whatever the line ends.
// The search stays single-threaded: a search polls the queue between nodes.
// Until start_input_reader runs (command-line modes, tests), input counts as ended.
#pragma once

#include <string>

void start_input_reader();

// Blocks for the next line; false at end of input.
bool read_line(std::string& line);

// For a running search, which decides what each line means. The filter runs under the
// reader's lock, on the queued lines oldest first, until it stops.
enum LineVerdict {
    LINE_KEEP, // left in the queue, in order, for after the search
    LINE_DROP, // handled: removed
    LINE_STOP, // stop scanning; the line stays
    LINE_STOP_DROP, // stop scanning; the line is removed
    LINE_BARRIER, // the line and all after it belong to later: left, and not a stop
};
using LineFilter = LineVerdict (*)(const std::string& line);

// Scans what has arrived without waiting; true when the filter stopped, or when the input
// ended with no barrier before its end.
bool scan_input(LineFilter filter);
// Blocks until scan_input(filter) would return true.
void wait_input(LineFilter filter);
