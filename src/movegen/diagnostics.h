// diagnostics.h: the consistency checks of the move generator behind the `dupcheck` and
// `illegalcheck` commands. Each prints its findings and a summary line; the board is left
// as it was.
#pragma once

#include "board/board.h"

// Lists the pseudo-legal moves generated more than once.
void dupcheck(Board& board);

// Cross-checks move_is_legal against an attacker count made piece kind by piece kind.
void illegalcheck(Board& board);
