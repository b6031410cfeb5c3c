// uci.h: the UCI front end: the command loop, its dispatcher and the command handlers.
// Input is tolerant: words match case-sensitively by whole line or by prefix, unknown words
// are skipped, and nothing is ever reported as an error on the UCI channel.
#pragma once

#include <string_view>

#include "board/board.h"
#include "search/think.h"

// Builds every table in the fixed start-up order and allocates the 64 MB hash table.
void init_engine();

// Reads commands until "quit" or the end of input.
void uci_loop();

// Runs one command line (without its line end) against the game board.
void execute_command(std::string_view line, Board& board);

// The legal move that a UCI move token denotes ("e2e4", "e7e8q"), or NO_MOVE.
// The token ends at a space or at the end of the text.
Move uci_to_move(Board& board, std::string_view token);

void position_command(std::string_view line, Board& board);
// The limits of a "go" line: keywords matched by prefix, unknown words skipped.
SearchLimits parse_go(std::string_view line);
// Answers from the book when OwnBook is on (and not infinite), else searches.
void go_command(std::string_view line, Board& board);
// Also brings the game board's running score onto a newly chosen style's table.
void setoption_command(std::string_view line, Board& board);

void run_bench(int depth);
void dupcheck(Board& board);
void illegalcheck(Board& board);

// The integer value of a text as atoi reads it, saturated to the int range.
int parse_int(std::string_view text);
