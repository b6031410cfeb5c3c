#include "movegen/movegen.h"

#include "movegen/attacks.h"

// Inlined with a constant type, the switch folds away.
[[gnu::always_inline]] static inline Bitboard attacks_by_type(
    unsigned type, int sq, int color, Bitboard occupancy)
{
    switch (type) {
    case PAWN:
        return pawn_attacks[color][sq];
    case KNIGHT:
        return knight_attacks[sq];
    case BISHOP:
        return bishop_attacks(sq, occupancy);
    case ROOK:
        return rook_attacks(sq, occupancy);
    case QUEEN:
        return rook_attacks(sq, occupancy) | bishop_attacks(sq, occupancy);
    case KING:
        return king_attacks[sq];
    default:
        return 0;
    }
}

Bitboard attacks_of(unsigned type, int sq, int color, Bitboard occupancy)
{
    return attacks_by_type(type, sq, color, occupancy);
}

// Is `sq` attacked by colour `by`? Sliders see `occupancy`; pieces come from the board.
static bool is_square_attacked(int sq, int by, Bitboard occupancy, const Board& board)
{
    const int them       = by ^ 1;
    const Bitboard* mine = board.pieces + by * 6;
    if (mine[PAWN] & pawn_attacks[them][sq])
        return true;
    if (mine[KNIGHT] & knight_attacks[sq])
        return true;
    if (mine[KING] & king_attacks[sq])
        return true;
    if (bishop_attacks(sq, occupancy) & (mine[BISHOP] | mine[QUEEN]))
        return true;
    return (rook_attacks(sq, occupancy) & (mine[ROOK] | mine[QUEEN])) != 0;
}

bool in_check(const Board& board, int color)
{
    const Bitboard king = board.pieces[make_piece(color, KING)];
    return king && is_square_attacked(lsb(king), color ^ 1, board.occupied, board);
}

// How many of `count` moves still fit in the list: the rest is dropped, as add_move would.
static inline int room_for(const MoveList& list, int count)
{
    return count < MAX_MOVES - list.count ? count : MAX_MOVES - list.count;
}

// Appends one move per square of `targets`, the from-square at a fixed offset.
static inline void add_pawn_moves(MoveList& list, Bitboard targets, int offset, int flags)
{
    const int n = room_for(list, popcount(targets));
    Move* out   = list.moves + list.count;
    list.count += n;
    for (int i = 0; i < n; ++i) {
        const int to = pop_lsb(targets);
        out[i]       = make_move_word(to - offset, to, flags);
    }
}

// One move from `from` per square of `dests`, a capture where `enemy` stands.
static inline void add_piece_moves(MoveList& list, int from, Bitboard dests, Bitboard enemy)
{
    const int n = room_for(list, popcount(dests));
    Move* out   = list.moves + list.count;
    list.count += n;
    for (int i = 0; i < n; ++i) {
        const int to = pop_lsb(dests);
        out[i]       = make_move_word(from, to, static_cast<int>(enemy >> to & 1) * FLAG_CAPTURE);
    }
}

// Queen first, then rook, bishop, knight, so the strongest promotion is tried first.
static void add_promotions(MoveList& list, Bitboard targets, int offset, int base_flags)
{
    while (targets) {
        const int to   = pop_lsb(targets);
        const int from = to - offset;
        for (int kind = 3; kind >= 0; --kind)
            add_move(list, make_move_word(from, to, base_flags + kind));
    }
}

// The generators' bodies, inlined where the type or mode is a constant.
[[gnu::always_inline]] static inline void pawn_moves(
    const Board& board, MoveList& list, Bitboard target, bool captures_only)
{
    const int us          = board.side;
    const Bitboard pawns  = board.pieces[make_piece(us, PAWN)];
    const Bitboard empty  = ~board.occupied;
    const Bitboard enemy  = board.occupancy[us ^ 1];
    const Bitboard last   = us == WHITE ? RANK_8_BB : RANK_1_BB;
    const Bitboard rank_4 = us == WHITE ? rank_bb(3) : rank_bb(4);
    // Offsets are to - from: forward push, the 7-diagonal and the 9-diagonal.
    const int up    = us == WHITE ? 8 : -8;
    const int diag7 = us == WHITE ? 7 : -7;
    const int diag9 = us == WHITE ? 9 : -9;

    const Bitboard single = (us == WHITE ? shift_north(pawns) : shift_south(pawns)) & empty;
    // 7-diagonal: up and toward the a-file for White, down and toward the h-file for Black.
    const Bitboard caps7
        = (us == WHITE ? shift_north(shift_west(pawns)) : shift_south(shift_east(pawns))) & enemy;
    const Bitboard caps9
        = (us == WHITE ? shift_north(shift_east(pawns)) : shift_south(shift_west(pawns))) & enemy;

    if (!captures_only) {
        add_promotions(list, single & last, up, FLAG_PROMOTION);
        add_pawn_moves(list, single & ~last & target, up, FLAG_QUIET);
        const Bitboard doubles
            = (us == WHITE ? shift_north(single) : shift_south(single)) & empty & rank_4 & target;
        add_pawn_moves(list, doubles, 2 * up, FLAG_DOUBLE_PUSH);
    }
    add_promotions(list, caps7 & last, diag7, FLAG_PROMOTION + FLAG_CAPTURE);
    add_promotions(list, caps9 & last, diag9, FLAG_PROMOTION + FLAG_CAPTURE);
    add_pawn_moves(list, caps7 & ~last, diag7, FLAG_CAPTURE);
    add_pawn_moves(list, caps9 & ~last, diag9, FLAG_CAPTURE);

    if (board.ep_square != NO_SQUARE) {
        Bitboard takers = pawns & pawn_attacks[us ^ 1][board.ep_square];
        while (takers)
            add_move(list, make_move_word(pop_lsb(takers), board.ep_square, FLAG_EP_CAPTURE));
    }
}

[[gnu::always_inline]] static inline void piece_moves(
    const Board& board, MoveList& list, int type, Bitboard target)
{
    const int us         = board.side;
    const Bitboard enemy = board.occupancy[us ^ 1];
    Bitboard pieces      = board.pieces[make_piece(us, type)];
    while (pieces) {
        const int from = pop_lsb(pieces);
        const Bitboard dests
            = attacks_by_type(static_cast<unsigned>(type), from, us, board.occupied)
            & ~board.occupancy[us] & target;
        add_piece_moves(list, from, dests, enemy);
    }
}

void generate_pawn_moves(const Board& board, MoveList& list, Bitboard target, bool captures_only)
{
    pawn_moves(board, list, target, captures_only);
}

void generate_piece_moves(const Board& board, MoveList& list, int type, Bitboard target)
{
    piece_moves(board, list, type, target);
}

// The king's destination is tested here with the castling rook still in place; when that rook
// shields it (Chess960), move_is_legal sees the attack.
void generate_castling_moves(const Board& board, MoveList& list)
{
    const int us = board.side;
    for (int i = 2 * us; i < 2 * us + 2; ++i) {
        if (!(board.castling >> i & 1) || (board.occupied & board.castle.empty[i]))
            continue;
        bool safe = true;
        for (Bitboard path = board.castle.king_path[i]; path && safe;)
            safe = !is_square_attacked(pop_lsb(path), us ^ 1, board.occupied, board);
        if (safe)
            add_move(list, board.castle.move[i]);
    }
}

void generate_moves(const Board& board, MoveList& list)
{
    list.count            = 0;
    const Bitboard target = ~board.occupancy[board.side];
    pawn_moves(board, list, target, false);
    piece_moves(board, list, KNIGHT, target);
    piece_moves(board, list, BISHOP, target);
    piece_moves(board, list, ROOK, target);
    piece_moves(board, list, QUEEN, target);
    piece_moves(board, list, KING, target);
    generate_castling_moves(board, list);
}

void generate_captures(const Board& board, MoveList& list)
{
    list.count            = 0;
    const int us          = board.side;
    const Bitboard target = board.occupancy[us ^ 1];
    pawn_moves(board, list, target, true);
    piece_moves(board, list, KNIGHT, target);
    piece_moves(board, list, BISHOP, target);
    piece_moves(board, list, ROOK, target);
    piece_moves(board, list, QUEEN, target);
    piece_moves(board, list, KING, target);
    const Bitboard pawns = board.pieces[make_piece(us, PAWN)];
    const Bitboard push  = (us == WHITE ? shift_north(pawns) : shift_south(pawns)) & ~board.occupied
        & (us == WHITE ? RANK_8_BB : RANK_1_BB);
    add_promotions(list, push, us == WHITE ? 8 : -8, FLAG_PROMOTION);
}

bool is_pseudo_legal(const Board& board, Move move)
{
    if (move == NO_MOVE || move == NULL_MOVE)
        return false;
    const int us    = board.side;
    const int from  = move_from(move);
    const int to    = move_to(move);
    const int flags = move_flags(move);
    const int piece = board.squares[from];
    if (piece == EMPTY || color_of(piece) != us)
        return false;
    // Before the own-piece test: in Chess960 the word ends on the castling rook.
    if (flags == FLAG_KING_CASTLE || flags == FLAG_QUEEN_CASTLE) {
        MoveList castles;
        castles.count = 0;
        generate_castling_moves(board, castles);
        for (int i = 0; i < castles.count; ++i)
            if (castles.moves[i] == move)
                return true;
        return false;
    }
    const Bitboard to_bb   = square_bb(to);
    const bool enemy_on_to = (board.occupancy[us ^ 1] & to_bb) != 0;
    if (board.occupancy[us] & to_bb)
        return false;
    if (type_of(piece) != PAWN) {
        if (flags != (enemy_on_to ? FLAG_CAPTURE : FLAG_QUIET))
            return false;
        return (attacks_of(static_cast<unsigned>(type_of(piece)), from, us, board.occupied) & to_bb)
            != 0;
    }

    const Bitboard last = us == WHITE ? RANK_8_BB : RANK_1_BB;
    if (((to_bb & last) != 0) != ((flags & FLAG_PROMOTION) != 0))
        return false;
    if (flags == FLAG_EP_CAPTURE)
        return to == board.ep_square && (pawn_attacks[us][from] & to_bb);
    if (flags & FLAG_CAPTURE)
        return flags != 6 && flags != 7 && enemy_on_to && (pawn_attacks[us][from] & to_bb);
    if (board.occupied & to_bb)
        return false;
    const int up = us == WHITE ? 8 : -8;
    if (flags == FLAG_DOUBLE_PUSH)
        return to == from + 2 * up && rank_of(from) == (us == WHITE ? 1 : 6)
            && !(board.occupied & square_bb(from + up));
    return (flags == FLAG_QUIET || (flags & FLAG_PROMOTION)) && to == from + up;
}

// Is the mover's king, on ksq after the move, attacked? Sliders see `occupied`; a piece on
// `captured` has been taken.
static inline bool king_attacked_after(
    const Board& board, int ksq, Bitboard occupied, Bitboard captured)
{
    const int us          = board.side;
    const Bitboard keep   = ~captured;
    const Bitboard* enemy = board.pieces + (us ^ 1) * 6;
    if (enemy[PAWN] & keep & pawn_attacks[us][ksq])
        return true;
    if (enemy[KNIGHT] & keep & knight_attacks[ksq])
        return true;
    if (enemy[KING] & keep & king_attacks[ksq])
        return true;
    if (bishop_attacks(ksq, occupied) & (enemy[BISHOP] | enemy[QUEEN]) & keep)
        return true;
    return (rook_attacks(ksq, occupied) & (enemy[ROOK] | enemy[QUEEN]) & keep) != 0;
}

// Only the king's destination is left to test: the generator saw its other squares
// unattacked. Out of line, so that the common moves' test stays as small as it was.
[[gnu::noinline]] static bool castling_is_legal(const Board& board, Move move)
{
    const int us            = board.side;
    const CastlingSquares c = castling_squares(board, us, move);
    const Bitboard from_bb  = square_bb(c.king_from);
    const Bitboard king_to  = square_bb(c.king_to);
    const Bitboard occupied
        = (board.occupied ^ from_bb ^ square_bb(c.rook_from)) | king_to | square_bb(c.rook_to);
    const Bitboard king = (board.pieces[make_piece(us, KING)] ^ from_bb) | king_to;
    return !king_attacked_after(board, lsb(king), occupied, 0);
}

// Equivalent to making the move and asking whether the mover's king is attacked, but done on
// the few bitboards the question needs, so the board is never touched.
bool move_is_legal(const Board& board, Move move)
{
    const int us           = board.side;
    const int from         = move_from(move);
    const int to           = move_to(move);
    const int flags        = move_flags(move);
    const Bitboard from_bb = square_bb(from);
    const Bitboard to_bb   = square_bb(to);

    Bitboard captured = 0;
    if (flags == FLAG_EP_CAPTURE)
        captured = square_bb(us == WHITE ? to - 8 : to + 8);
    else if (flags & FLAG_CAPTURE)
        captured = to_bb;
    else if (flags == FLAG_KING_CASTLE || flags == FLAG_QUEEN_CASTLE)
        return castling_is_legal(board, move);
    const Bitboard occupied = (board.occupied ^ from_bb ^ captured) | to_bb;

    Bitboard king = board.pieces[make_piece(us, KING)];
    if (king & from_bb)
        king = (king ^ from_bb) | to_bb;
    if (!king)
        return false;
    return !king_attacked_after(board, lsb(king), occupied, captured);
}

Bitboard legality_suspects(const Board& board)
{
    const int us          = board.side;
    const Bitboard king   = board.pieces[make_piece(us, KING)];
    const Bitboard* enemy = board.pieces + (us ^ 1) * 6;
    if (!king || more_than_one(king))
        return ~0ULL;
    const int ksq              = lsb(king);
    const Bitboard straight    = enemy[ROOK] | enemy[QUEEN];
    const Bitboard diagonal    = enemy[BISHOP] | enemy[QUEEN];
    const Bitboard rook_view   = rook_attacks(ksq, board.occupied);
    const Bitboard bishop_view = bishop_attacks(ksq, board.occupied);
    if ((rook_view & straight) || (bishop_view & diagonal) || (enemy[PAWN] & pawn_attacks[us][ksq])
        || (enemy[KNIGHT] & knight_attacks[ksq]) || (enemy[KING] & king_attacks[ksq]))
        return ~0ULL;
    Bitboard suspects = king;
    // Entry 0 of a magic block is the set on an empty board: the lines themselves. An enemy
    // slider seen through the first own pieces pins one of them: the one both see.
    const Bitboard own = board.occupancy[us];
    if (rook_magics[ksq].attacks[0] & straight) {
        Bitboard pinners = rook_attacks(ksq, board.occupied ^ (rook_view & own)) & straight;
        while (pinners)
            suspects |= rook_attacks(pop_lsb(pinners), board.occupied) & rook_view & own;
    }
    if (bishop_magics[ksq].attacks[0] & diagonal) {
        Bitboard pinners = bishop_attacks(ksq, board.occupied ^ (bishop_view & own)) & diagonal;
        while (pinners)
            suspects |= bishop_attacks(pop_lsb(pinners), board.occupied) & bishop_view & own;
    }
    if (board.ep_square != NO_SQUARE)
        suspects |= board.pieces[make_piece(us, PAWN)] & pawn_attacks[us ^ 1][board.ep_square];
    return suspects;
}

void generate_legal_moves(const Board& board, MoveList& list)
{
    MoveList pseudo;
    generate_moves(board, pseudo);
    list.count = 0;
    for (int i = 0; i < pseudo.count; ++i)
        if (move_is_legal(board, pseudo.moves[i]))
            list.moves[list.count++] = pseudo.moves[i];
}
