// psq.h: the evaluation styles and the builder of their material-and-square tables
// (board/score.h). "PeSTO" (the default) uses the published PeSTO piece-square tables;
// "Linear" has its own pawn, knight, bishop and queen tables. Both share the material values
// and the king end-game table. "Neural" evaluates with a network (nnue.h); a board's running
// score then sums PeSTO's table, unread.
#pragma once

#include "board/score.h"

// In the order of the Style option's choices.
enum class EvalStyle { PeSTO, Linear, Neural };

// Fills both tables of psq_tables; once, at start-up.
void init_eval_tables();

// The table whose sum a board keeps for the style.
inline const PsqTable& psq_table_of(EvalStyle style)
{
    return psq_tables[style == EvalStyle::Linear ? PSQ_LINEAR : PSQ_PESTO];
}
