// eval.h: the static evaluation, in centipawns from the side to move's point of view.
// A tapered sum of material, piece-square values and the terms of terms.h, with recognised
// draws, a tempo bonus, a lone-king mop-up bonus and an end-game scale factor.
#pragma once

#include "board/board.h"

constexpr int MAX_PHASE = 24;

// Static scores stay below the mate range (mate scores start at 30000).
constexpr int EVAL_LIMIT = 29999;

int evaluate(const Board& board);

// The packed sum before draw recognition and taper: psq_score and every positional term,
// White's view. A colour-mirrored position has exactly its negation (with at most one queen
// per side: only the lowest queen is examined for safe checks).
Score evaluate_terms(const Board& board);

// knights + bishops + 2 * rooks + 4 * queens of both colours, capped at MAX_PHASE.
int game_phase(const Board& board);

// Blends the halves of s by phase (0..MAX_PHASE), truncating toward zero.
int taper(Score s, int phase);

// Bonus, White's view, for driving a lone king to the edge and approaching it with a single
// rook or queen; 0 when no side qualifies or a king is missing.
int mop_up_bonus(const Board& board);

// 16, 32, 64, 96, 128, 160 or 256 (out of 256); `score` is the tapered value, White's view.
int scale_factor(const Board& board, int score);

// The `eval` command: phase, the main terms, king safety and the total.
void eval_trace(const Board& board);
