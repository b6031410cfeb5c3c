// bench.h: the benchmark whose node count is the engine's signature. It searches the bench
// positions to a fixed depth from cleared tables, one line at full strength, so the count
// depends only on the search, the evaluation and the Hash, Style and EvalFile options (and
// the endgame tables, when loaded), never on timing.
#pragma once

#include "engine/engine.h"

constexpr int BENCH_DEPTH = 10; // the signature's depth

extern const char* const BENCH_FENS[5];

// Prints each position's bestmove, then the depth, nodes, time and speed. A depth below 1 is
// BENCH_DEPTH; one past MAX_SEARCH_DEPTH is MAX_SEARCH_DEPTH. It searches on `threads`
// threads (clamped as the Threads option is; the signature's count needs one), then gives the
// engine back its own.
void run_bench(Engine& engine, int depth, int threads);
