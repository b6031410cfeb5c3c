// score.h: the packed middle-game/end-game Score and the material-and-square table.
//
// A Score holds eg * 65536 + mg in 32 bits. It is kept in an unsigned type so that sums,
// differences, negations and multiples wrap modulo 2^32 without undefined behaviour; the
// halves are read back as signed 16-bit numbers. eg_of does no rounding correction: when
// the middle-game half is negative the end-game half reads one lower than was packed.
#pragma once

#include "board/types.h"

using Score = std::uint32_t;

constexpr Score make_score(int mg, int eg)
{
    return static_cast<std::uint32_t>(eg) * 65536u + static_cast<std::uint32_t>(mg);
}
constexpr int mg_of(Score s) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(s)); }
constexpr int eg_of(Score s)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(s >> 16));
}

// Material plus piece-square value of every piece code on every square, White's view (Black
// entries are the mirrored negations): one table per set of square values. Defined beside
// init_eval_tables (eval/psq.h), which fills them once at start-up.
struct PsqTable {
    Score entries[PIECE_NB][SQUARE_NB];
};
constexpr int PSQ_PESTO    = 0;
constexpr int PSQ_LINEAR   = 1;
constexpr int PSQ_TABLE_NB = 2;
extern PsqTable psq_tables[PSQ_TABLE_NB];
