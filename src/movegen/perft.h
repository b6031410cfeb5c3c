// perft.h: leaf counts of the legal move tree, the `perft` divide printout and the built-in
// six-position suite. Every move is made and unmade; nothing is hashed or bulk-counted.
#pragma once

#include "board/board.h"

struct PerftCase {
    const char* fen;
    int depth;
    std::uint64_t expected;
    const char* name;
};

extern const PerftCase PERFT_SUITE[6];

// Deepest perft accepted: the undo stack keeps this much room above a game's history.
constexpr int MAX_PERFT_DEPTH = MAX_PLY;

std::uint64_t perft(Board& board, unsigned depth);
// One "move: count" line per legal move, then "Total: n". depth >= 1.
void perft_divide(Board& board, unsigned depth);
void run_perft_suite();
