// datagen.h: self-play games that produce the network's training records (eval/training_data.h).
//
//   vantorel datagen FILE [games N] [nodes N] [seed N] [random N] [threads N] [hash MB]
//                         [style S] [evalfile PATH] [syzygy PATHS]
// plays N games (default 1000) from openings of `random` (default 8, or one more on odd games)
// uniformly random plies whose searched score is within 300 cp, with `nodes` (default 5000) per
// move, and appends the quiet positions of each finished game to FILE. Games end by the rules,
// by endgame tables when they are given, or by adjudication (a score of 1000 cp for one side
// four plies running, or within 10 cp for twelve plies after ply 60; 400 plies are a draw).
// With `threads` T above 1, thread k plays its own `games` games from seed + k into FILE.k, on a
// search and table of its own: the same records as T runs of one thread would write.
//
//   vantorel datastats FILE
// reads a file back and prints its record count, results and any record no packer writes.
#pragma once

#include "engine/engine.h"

// Both return the process exit status. The engine's options (set from the words) shape the
// games; its network and tables are shared by the threads.
int run_datagen(Engine& engine, int argc, char** argv);
int run_datastats(const char* path);
