// see.h: static exchange evaluation with a swap list. Pins and checks are ignored; kings
// take part like any other piece. An empty to-square (a quiet promotion) counts as a pawn.
#pragma once

#include "board/board.h"

extern const int see_values[PIECE_TYPE_NB]; // 100, 300, 300, 500, 900, 20000

// Material balance, from the mover's view, of the exchange the move starts on its to-square.
int see(const Board& board, Move move);

// see(board, move) < threshold, without the exchange when its bounds settle it: the mover
// keeps at most what it takes, and at least that less its own piece (the opponent may
// recapture once, and the mover stops there).
bool see_below(const Board& board, Move move, int threshold);

// see(board, move) when the move takes at least `floor`; otherwise what it takes, a bound of
// the exchange that is below `floor` too. For callers to whom every value below floor is the
// same.
int see_from(const Board& board, Move move, int floor);
