// options.h: the UCI face of the engine's options (engine.h): the `uci` reply's option lines
// and the setoption command.
#pragma once

#include <string_view>

#include "engine/engine.h"

// The "option name ..." lines of the `uci` reply.
void print_options();

// "setoption name N value V": the words may come in either order; the option named N exactly
// (case and inner spaces included) takes the value (a check is on for a value that begins with
// "true", a combo takes the first choice the value begins with, else its default). Only a
// button needs no value; an unknown name changes nothing.
void setoption_command(Engine& engine, std::string_view line);
