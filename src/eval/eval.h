// eval.h: the static evaluation, in centipawns from the side to move's point of view.
// A tapered sum of material, piece-square values and the terms of terms.h, with recognised
// draws, a tempo bonus, a lone-king mop-up bonus and an end-game scale factor.
#pragma once

#include "board/board.h"

constexpr int MAX_PHASE = 24;

// Cached by the position's key (2^16 slots, 512 KB). init_eval_tables clears the cache (a new
// style changes the scores) and so does tt_clear (ucinewgame, each bench position), so that
// no search depends on what ran before it.
int evaluate(const Board& board);
void clear_eval_cache();

// knights + bishops + 2 * rooks + 4 * queens of both colours, capped at MAX_PHASE.
int game_phase(const Board& board);

// The `eval` command: phase, the main terms, king safety and the total.
void eval_trace(const Board& board);
