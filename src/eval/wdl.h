// wdl.h: the chances of a win, a draw and a loss that a score gives the side to move, shown
// with UCI_ShowWDL. The model, fitted per style to self-play games (tools/data/wdl-fit.py;
// docs/wdl.md), is
//   win = 1 / (1 + exp((a - score) / b)),  loss = 1 / (1 + exp((a + score) / b)),  draw = rest,
// with a and b cubic polynomials of the material on the board (pawns 1, knights and bishops 3,
// rooks 5, queens 9, both sides, taken within 17..78, over 58). Mates and proven table results
// are certain.
#pragma once

#include "board/board.h"
#include "eval/psq.h"

// Per mille, summing to 1000.
struct Wdl {
    int win, draw, loss;
};

// The material the model reads.
int wdl_material(const Board& board);

// The chances of `score` (side to move's view) with that material, for the style's scores.
Wdl wdl_of_score(int score, int material, EvalStyle style);

// A result the tables proved: a win for a positive score, a loss for a negative, else a draw.
Wdl wdl_of_result(int score);
