// go.h: the `go` command: its words read into SearchLimits, the book move or the search with
// its info lines, and bestmove. While a search runs, isready, stop, ponderhit and quit are
// answered from the input; every other line waits for bestmove.
#pragma once

#include <string_view>

#include "engine/engine.h"
#include "platform/input.h"

// Answers from the book when OwnBook is on, unless the search is infinite, ponders, is
// restricted to some moves or plays Chess960; else searches, listening to `input` (nullptr:
// none, as if it had ended). A GUI must never receive bestmove while it believes the engine
// is pondering or searching without end, so such a search answers only after ponderhit or stop.
void go_command(Engine& engine, InputQueue* input, std::string_view line);

// "bestmove m [ponder p]": the ponder move goes along only when `ponder` (the option) is on and
// it is legal after `move`.
void print_bestmove(const Board& board, Move move, Move ponder_move, bool ponder);

// One "info depth ..." line; tbhits only when the engine has tables.
void print_info(const Engine& engine, const SearchInfo& info);

// "cp 20", "mate 2" (giving mate), "mate -1" (getting mated).
struct ScoreText {
    char str[24];
};
ScoreText score_to_uci(int score);
