// uci.h: the UCI front end: the command loop and its dispatcher.
// Input is tolerant: words match case-sensitively by whole line or by prefix, unknown words
// are skipped, and nothing is ever reported as an error on the UCI channel. The handlers live
// in options.h, position.h, go.h and bench.h.
#pragma once

#include <string_view>

#include "engine/engine.h"
#include "platform/input.h"

// Reads standard input, for the engine, until "quit" or the end of input.
void uci_loop(Engine& engine);

// Runs one command line (without its line end); a search polls `input` (nullptr: none, as if
// it had ended).
void execute_command(Engine& engine, InputQueue* input, std::string_view line);
