#include "movegen/diagnostics.h"

#include <cstdio>

#include "movegen/attacks.h"
#include "movegen/movegen.h"

void dupcheck(Board& board)
{
    MoveList list;
    generate_moves(board, list);
    int duplicates = 0;
    for (int i = 0; i < list.count; ++i)
        for (int j = i + 1; j < list.count; ++j)
            if (list.moves[i] == list.moves[j]) {
                std::printf(
                    "DUPLICATE: %s (indices %d and %d)\n", move_to_uci(list.moves[i]).str, i, j);
                ++duplicates;
            }
    std::printf("Total pseudo-legal: %d, Duplicates: %d\n", list.count, duplicates);
    std::fflush(stdout);
}

void illegalcheck(Board& board)
{
    MoveList list;
    generate_moves(board, list);
    int findings = 0;
    for (int i = 0; i < list.count; ++i) {
        const Move move = list.moves[i];
        if (!move_is_legal(board, move))
            continue;
        make_move(board, move);
        const int us          = board.side ^ 1;
        const int them        = board.side;
        const int k           = lsb(board.pieces[make_piece(us, KING)]);
        const Bitboard occ    = board.occupied;
        const Bitboard* enemy = board.pieces + them * 6;
        const bool pawn       = pawn_attacks[us][k] & enemy[PAWN];
        const bool knight     = knight_attacks[k] & enemy[KNIGHT];
        const bool king       = king_attacks[k] & enemy[KING];
        const bool diag       = bishop_attacks(k, occ) & (enemy[BISHOP] | enemy[QUEEN]);
        const bool orth       = rook_attacks(k, occ) & (enemy[ROOK] | enemy[QUEEN]);
        unmake_move(board, move);
        if (pawn || knight || king || diag || orth) {
            std::printf("ILLEGAL (king in check): %s  pawn=%d knight=%d king=%d diag=%d orth=%d\n",
                move_to_uci(move).str, pawn, knight, king, diag, orth);
            ++findings;
        }
    }
    if (findings == 0)
        std::printf("No illegal moves found among move_is_legal=true set.\n");
    std::fflush(stdout);
}
