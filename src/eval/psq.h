// psq.h: the evaluation styles and the table builder behind psq_table (board/score.h).
// "PeSTO" (style 0, the default) uses the published PeSTO piece-square tables; "Linear"
// (style 1) has its own pawn, knight, bishop and queen tables. Both share the material
// values and the king end-game table. "Neural" (style 2) evaluates with the network of
// nnue.h; the board's running score then uses PeSTO's tables, unread.
#pragma once

#include "board/score.h"

constexpr int STYLE_PESTO  = 0;
constexpr int STYLE_LINEAR = 1;
constexpr int STYLE_NEURAL = 2;

extern int eval_style; // for the tables, 1 selects Linear, anything else PeSTO

// Rewrites all 768 entries of psq_table for eval_style; evaluation caches filled before are
// stale. A Board keeps the psq_score it computed with the old table until its next parse_fen.
void init_eval_tables();
