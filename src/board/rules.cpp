#include "board/rules.h"

bool history_has_repetition(const Board& board)
{
    const int lowest = std::max(board.undo_count - board.halfmove_clock, 0);
    for (int index = board.undo_count; index >= lowest + 2; --index)
        if (repetitions(board, index, 1) > 0)
            return true;
    return false;
}

static int count(const Board& board, int color, int type)
{
    return popcount(board.pieces[make_piece(color, type)]);
}

static bool on_light_square(int sq) { return ((file_of(sq) + rank_of(sq)) & 1) != 0; }

bool is_material_draw(const Board& board)
{
    for (int color = WHITE; color <= BLACK; ++color)
        if (count(board, color, PAWN) + count(board, color, ROOK) + count(board, color, QUEEN))
            return false;
    const int wn = count(board, WHITE, KNIGHT);
    const int wb = count(board, WHITE, BISHOP);
    const int bn = count(board, BLACK, KNIGHT);
    const int bb = count(board, BLACK, BISHOP);
    const int wm = wn + wb;
    const int bm = bn + bb;
    if ((wm <= 1 && bm == 0) || (bm <= 1 && wm == 0))
        return true;
    if ((wn == 2 && wb == 0 && bm == 0) || (bn == 2 && bb == 0 && wm == 0))
        return true;
    if (wn == 0 && bn == 0 && wb == 1 && bb == 1)
        return on_light_square(lsb(board.pieces[make_piece(WHITE, BISHOP)]))
            == on_light_square(lsb(board.pieces[make_piece(BLACK, BISHOP)]));
    return false;
}
