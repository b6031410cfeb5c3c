#include "search/root.h"

#include <algorithm>

#include "movegen/movegen.h"

void collect_root_moves(RootMoves& root, const Board& board, const Move* searchmoves,
    int searchmove_count, const TablebaseSettings& settings)
{
    MoveList legal;
    generate_legal_moves(board, legal);
    root.count = 0;
    for (int i = 0; i < legal.count; ++i)
        if (std::find(searchmoves, searchmoves + searchmove_count, legal.moves[i])
            != searchmoves + searchmove_count)
            root.moves[root.count++].move = legal.moves[i];
    if (root.count == 0)
        for (int i = 0; i < legal.count; ++i)
            root.moves[root.count++].move = legal.moves[i];
    root.completed_count = 0;
    for (int i = 0; i < root.count; ++i) {
        RootMove& m      = root.moves[i];
        m.previous_score = 0;
        m.tb_rank = m.tb_score = 0;
        m.pv_length            = 0;
    }

    Move moves[MAX_MOVES];
    int ranks[MAX_MOVES], scores[MAX_MOVES];
    for (int i = 0; i < root.count; ++i)
        moves[i] = root.moves[i].move;
    root.ranked = settings.pieces > 0
        && tb_rank_root_moves(board, settings, moves, root.count, ranks, scores);
    if (!root.ranked)
        return;
    for (int i = 0; i < root.count; ++i) {
        root.moves[i].tb_rank  = ranks[i];
        root.moves[i].tb_score = scores[i];
    }
    std::stable_sort(root.moves, root.moves + root.count,
        [](const RootMove& a, const RootMove& b) { return a.tb_rank > b.tb_rank; });
}

int line_moves(const RootMoves& root, int line, Move* out)
{
    int count = 0;
    for (int i = line; i < root.count; ++i) {
        if (root.ranked && count > 0 && root.moves[i].tb_rank < root.moves[line].tb_rank)
            break;
        out[count++] = root.moves[i].move;
    }
    return count;
}

void set_line(RootMoves& root, int line, int score, const Move* pv, int pv_length)
{
    RootMove* const begin = root.moves + line;
    RootMove* const end   = root.moves + root.count;
    RootMove* const found
        = std::find_if(begin, end, [pv](const RootMove& m) { return m.move == pv[0]; });
    if (found == end)
        return;
    std::rotate(begin, found, found + 1);
    begin->previous_score = score;
    begin->pv_length      = pv_length;
    std::copy(pv, pv + pv_length, begin->pv);
}

void complete_lines(RootMoves& root, int line_count)
{
    for (int i = 0; i < line_count; ++i) {
        RootMove& line = root.completed[i];
        line           = root.moves[i];
        line.score
            = root.ranked && !is_mate(line.previous_score) ? line.tb_score : line.previous_score;
    }
    std::stable_sort(root.completed, root.completed + line_count,
        [](const RootMove& a, const RootMove& b) { return a.score > b.score; });
    root.completed_count = line_count;
}
