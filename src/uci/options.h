// options.h: the UCI options. One table holds each option's name, type, default, range and
// the function that applies a value; it prints the options of the `uci` reply, answers
// setoption and sets the defaults at start-up, so an option is one row and its apply function.
// The values the front end reads live in engine_options; the others live with what they
// change: the table size in tt, the thread count in the pool, OwnBook in the book, Style and
// EvalFile in the evaluation, UCI_Chess960 on the game board and the Syzygy options (offered only
// when the engine is built with tables) in the tablebase module.
#pragma once

#include <string_view>

#include "board/board.h"

struct EngineOptions {
    int multipv; // lines searched and shown
    bool ponder; // bestmove names the expected reply
    int move_overhead; // ms kept back from the clock for the GUI and the pipe
    bool limit_strength;
    int elo; // the rating played at when limit_strength is on
};

extern EngineOptions engine_options;

// Applies every default, in table order, as setoption would. A string names a file, which is
// not loaded before the GUI sets it (EvalFile's default, the embedded network, is in use from
// the start); a button has nothing to apply.
void apply_default_options(Board& board);

// The "option name ..." lines of the `uci` reply.
void print_options();

// "setoption name N value V": the words may come in either order; the first option whose name
// starts N takes the value. Only a button needs no value.
void setoption_command(std::string_view line, Board& board);
