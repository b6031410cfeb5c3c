// input.h: standard input as a queue of lines.
//
// A small background reader reads lines whole (any length, NUL bytes kept) and ends a line at
// "\n", "\r" or "\r\n", so the command loop sees the same lines whatever the line ends.
// The search stays single-threaded: an open-ended search polls the queue between nodes.
// Until start_input_reader runs (command-line modes, tests), input counts as ended.
#pragma once

#include <string>

void start_input_reader();

// Blocks for the next line; false at end of input.
bool read_line(std::string& line);

// For a search that ends only on request. Answers queued "isready" lines at once; true when
// "stop" arrived (taken from the queue), or "quit" or the end of input (left for the loop).
// Other lines stay queued, in order, for after the search.
bool stop_requested();

// Blocks until stop_requested() would return true.
void wait_for_stop();
