// position.h: moves and positions in UCI notation. Move text is matched against the legal
// moves, so no illegal move ever reaches the board; what does not match is skipped.
#pragma once

#include <string_view>

#include "board/board.h"

// The legal move that a UCI move token denotes ("e2e4", "e7e8q"), or NO_MOVE.
// The token ends at a space or at the end of the text.
Move uci_to_move(Board& board, std::string_view token);

// "position startpos|fen F [moves m1 m2 ...]": illegal move tokens are skipped. The position
// is read in the board's mode (UCI_Chess960).
void position_command(std::string_view line, Board& board);
