// datagen.h: self-play games that produce the network's training records (eval/training_data.h).
//
//   vantorel datagen FILE [games N] [nodes N] [seed N] [random N] [hash MB] [style S]
//                         [evalfile PATH] [syzygy PATHS]
// plays N games (default 1000) from openings of `random` (default 8, or one more on odd games)
// uniformly random plies whose searched score is within 300 cp, with `nodes` (default 5000) per
// move, and appends the quiet positions of each finished game to FILE. Games end by the rules,
// by endgame tables when they are given, or by adjudication (a score of 1000 cp for one side
// four plies running, or within 10 cp for twelve plies after ply 60; 400 plies are a draw).
//
//   vantorel datastats FILE
// reads a file back and prints its record count, results and any record no packer writes.
#pragma once

// Both return the process exit status.
int run_datagen(int argc, char** argv);
int run_datastats(const char* path);
