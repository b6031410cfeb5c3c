// see.cpp: static exchange evaluation (swap list).
#include "search/see.h"

#include "movegen/attacks.h"

const int see_values[PIECE_TYPE_NB] = { 100, 300, 300, 500, 900, 20000 };

// Piece type by piece code, read through the low four bits so that no code can index
// outside: EMPTY (12) and the unused codes read as a pawn.
static constexpr int TYPE_BY_CODE[16] = { PAWN, KNIGHT, BISHOP, ROOK, QUEEN, KING, PAWN, KNIGHT,
    BISHOP, ROOK, QUEEN, KING, PAWN, PAWN, PAWN, PAWN };
static int type_on(const Board& board, int sq)
{
    return TYPE_BY_CODE[static_cast<unsigned>(board.squares[sq]) & 15];
}

int see(const Board& board, Move move)
{
    // A Chess960 castling word ends on the mover's own rook, which is no victim.
    if (is_castling(move))
        return 0;
    const int from = move_from(move);
    const int to   = move_to(move);

    // Every capture removes one square from occ, so the exchange has at most one step per
    // occupied square: 64 + 1 entries hold it even on a board packed with pieces.
    int gain[SQUARE_NB + 1];
    gain[0] = see_values[move_flags(move) == FLAG_EP_CAPTURE ? PAWN : type_on(board, to)];

    const Bitboard* p        = board.pieces;
    const Bitboard diagonals = p[make_piece(WHITE, BISHOP)] | p[make_piece(BLACK, BISHOP)]
        | p[make_piece(WHITE, QUEEN)] | p[make_piece(BLACK, QUEEN)];
    const Bitboard lines = p[make_piece(WHITE, ROOK)] | p[make_piece(BLACK, ROOK)]
        | p[make_piece(WHITE, QUEEN)] | p[make_piece(BLACK, QUEEN)];

    Bitboard occ = board.occupied & ~square_bb(from);
    Bitboard attackers
        = ((pawn_attacks[BLACK][to] & p[make_piece(WHITE, PAWN)])
              | (pawn_attacks[WHITE][to] & p[make_piece(BLACK, PAWN)])
              | (knight_attacks[to] & (p[make_piece(WHITE, KNIGHT)] | p[make_piece(BLACK, KNIGHT)]))
              | (king_attacks[to] & (p[make_piece(WHITE, KING)] | p[make_piece(BLACK, KING)]))
              | (bishop_attacks(to, occ) & diagonals) | (rook_attacks(to, occ) & lines))
        & occ;
    int side    = (board.side ^ 1) & 1;
    int current = type_on(board, from);
    int d       = 0;

    while (d < SQUARE_NB) {
        ++d;
        gain[d] = see_values[current] - gain[d - 1];

        // The side's least valuable attacker, if it has one at all.
        const Bitboard ours = attackers & board.occupancy[side];
        if (ours == 0)
            break;
        int type      = PAWN;
        Bitboard mine = ours & p[make_piece(side, PAWN)];
        while (mine == 0 && type < KING)
            mine = ours & p[make_piece(side, ++type)];
        if (mine == 0)
            break;

        const Bitboard taker = square_bb(lsb(mine));
        occ &= ~taker;
        attackers &= ~taker;
        // X-rays: a slider behind the piece that just captured now sees the square.
        attackers
            = ((bishop_attacks(to, occ) & diagonals) | (rook_attacks(to, occ) & lines) | attackers)
            & occ;
        side ^= 1;
        current = type;
    }

    for (int k = d - 1; k >= 1; --k)
        gain[k - 1] = -(-gain[k - 1] > gain[k] ? -gain[k - 1] : gain[k]);
    return gain[0];
}

bool see_below(const Board& board, Move move, int threshold)
{
    const int taken
        = see_values[move_flags(move) == FLAG_EP_CAPTURE ? PAWN : type_on(board, move_to(move))];
    if (taken - see_values[type_on(board, move_from(move))] >= threshold)
        return false;
    if (taken < threshold)
        return true;
    return see(board, move) < threshold;
}

int see_from(const Board& board, Move move, int floor)
{
    const int taken
        = see_values[move_flags(move) == FLAG_EP_CAPTURE ? PAWN : type_on(board, move_to(move))];
    return taken < floor ? taken : see(board, move);
}
