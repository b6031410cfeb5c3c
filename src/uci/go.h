// go.h: the `go` command: its words read into SearchLimits on top of the options, the book
// move or the search, and bestmove. While a search runs, isready, stop, ponderhit and quit are
// answered from the input; every other line waits for bestmove.
#pragma once

#include <string_view>

#include "board/board.h"

// Answers from the book when OwnBook is on, unless the search is infinite, ponders, is
// restricted to some moves or plays Chess960; else searches, listening to the input. A GUI
// must never receive bestmove while it believes the engine is pondering or searching without
// end, so such a search answers only after ponderhit or stop.
void go_command(std::string_view line, Board& board);

// "bestmove m [ponder p]": the ponder move goes along only when the Ponder option is on and
// it is legal after `move`.
void print_bestmove(const Board& board, Move move, Move ponder);
