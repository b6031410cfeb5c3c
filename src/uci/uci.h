// uci.h: the UCI front end: the command loop, its dispatcher and the command handlers.
// Input is tolerant: words match case-sensitively by whole line or by prefix, unknown words
// are skipped, and nothing is ever reported as an error on the UCI channel.
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

// The legal move that a UCI move token denotes ("e2e4", "e7e8q"), or NO_MOVE.
// The token ends at a space or at the end of the text.
Move uci_to_move(Board& board, std::string_view token);

// "position startpos|fen F [moves m1 m2 ...]": illegal move tokens are skipped.
void position_command(std::string_view line, Board& board);

// The diagnostic commands of the same names.
void dupcheck(Board& board);
void illegalcheck(Board& board);

// The integer value of a text as atoi reads it, saturated to the int range.
int parse_int(std::string_view text);
