// rules.h: the draws that a position's history or material decide. The search, the endgame
// tables, self-play and the evaluation all ask here, so that they agree.
#pragma once

#include <algorithm>

#include "board/board.h"

// How often the position at history index `index` (undo_count for the current one, else the
// position before undo record `index`'s move) stood on the board before, with the same side to
// move, since the last capture or pawn move; counting stops at `limit`. Positions from before
// a search's root count too.
inline int repetitions(const Board& board, int index, int limit)
{
    const std::uint64_t key = index == board.undo_count ? board.hash : board.undo_stack[index].hash;
    const int lowest        = std::max(board.undo_count - board.halfmove_clock, 0);
    int seen                = 0;
    for (int i = index - 2; i >= lowest && seen < limit; i -= 2)
        seen += board.undo_stack[i].hash == key;
    return seen;
}

// Has the current position stood on the board before (a repetition the search scores as a draw)?
inline bool is_repetition(const Board& board)
{
    return repetitions(board, board.undo_count, 1) > 0;
}

// The third occurrence: the game is drawn.
inline bool is_threefold(const Board& board)
{
    return repetitions(board, board.undo_count, 2) == 2;
}

// Has any position since the last capture or pawn move occurred twice?
bool history_has_repetition(const Board& board);

// Material with which neither side can force a mate: no pawns, rooks or queens, and bare kings,
// a lone minor piece, two knights against a bare king, or one bishop each on squares of one
// colour. The evaluation scores it 0 and self-play ends the game there.
bool is_material_draw(const Board& board);
