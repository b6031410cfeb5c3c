// uci.h: the UCI front end: start-up, the command loop and its dispatcher.
// Input is tolerant: words match case-sensitively by whole line or by prefix, unknown words
// are skipped, and nothing is ever reported as an error on the UCI channel. The handlers live
// in options.h, position.h, go.h and bench.h.
#pragma once

#include <string_view>

#include "board/board.h"

// Builds every table in the fixed start-up order, applies the options' defaults and sets up
// the game board in the start position.
void init_engine();

// Reads commands, against the game board, until "quit" or the end of input.
void uci_loop();

// Runs one command line (without its line end) against a board.
void execute_command(std::string_view line, Board& board);
