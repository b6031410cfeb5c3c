// terms.cpp: pawn structure, passed-pawn king proximity, mobility, outposts, rooks, threats
// and king danger. Everything works on bitboards; nothing allocates.
#include "eval/terms.h"

#include <array>

#include "movegen/attacks.h"

namespace {

constexpr Score S(int mg, int eg) { return make_score(mg, eg); }

// clang-format off
constexpr Score passed_pawn_bonus[8] = {
    S(0, 0), S(5, 18), S(12, 23), S(24, 31), S(46, 54), S(97, 111), S(173, 182), S(0, 0),
};
constexpr Score candidate_pawn_bonus[8] = {
    S(0, 0), S(3, 8), S(5, 10), S(10, 15), S(20, 28), S(40, 55), S(0, 0), S(0, 0),
};
constexpr Score DOUBLED_PAWN   = S(5, 12);
constexpr Score ISOLATED_PAWN  = S(11, 15);
constexpr Score BACKWARD_PAWN  = S(10, 12);
constexpr Score CONNECTED_PAWN = S(5, 8);

constexpr Score knight_mobility[9] = {
    S(-62, -79), S(-53, -57), S(-12, -31), S(-3, -17), S(3, 7), S(12, 13), S(21, 16), S(28, 21),
    S(37, 25),
};
constexpr Score bishop_mobility[14] = {
    S(-47, -59), S(-20, -25), S(14, -8), S(29, 12), S(39, 21), S(53, 40), S(53, 56), S(60, 58),
    S(62, 65), S(69, 72), S(78, 78), S(83, 87), S(91, 88), S(96, 98),
};
constexpr Score rook_mobility[15] = {
    S(-60, -82), S(-24, -15), S(0, 17), S(3, 43), S(4, 72), S(14, 100), S(20, 102), S(30, 122),
    S(41, 133), S(41, 139), S(41, 153), S(45, 160), S(57, 165), S(58, 170), S(67, 175),
};
constexpr Score queen_mobility[28] = {
    S(-29, -18), S(-16, -5), S(-8, 8), S(-8, 13), S(-7, 16), S(-7, 23), S(-4, 20), S(0, 21),
    S(2, 21), S(4, 28), S(6, 25), S(6, 28), S(7, 25), S(7, 28), S(7, 28), S(7, 28),
    S(7, 28), S(7, 28), S(7, 28), S(7, 28), S(7, 28), S(7, 28), S(7, 28), S(7, 28),
    S(7, 28), S(7, 28), S(7, 28), S(7, 28),
};
constexpr int KNIGHT_MOBILITY_MAX = 8;
constexpr int BISHOP_MOBILITY_MAX = 13;
constexpr int ROOK_MOBILITY_MAX   = 14;
constexpr int QUEEN_MOBILITY_MAX  = 27;

// By [supported][centre file].
constexpr Score knight_outpost_bonus[2][2] = { { S(10, 5), S(15, 8) }, { S(20, 12), S(30, 18) } };
constexpr Score bishop_outpost_bonus[2][2] = { { S(6, 3), S(10, 5) }, { S(14, 8), S(20, 12) } };
constexpr Score BLOCKED_PAWN_BY_BISHOP     = S(-4, -6);

constexpr Score ROOK_SEMI_OPEN_FILE = S(20, 13);
constexpr Score ROOK_OPEN_FILE      = S(47, 26);
constexpr Score ROOK_ON_SEVENTH     = S(27, 33);

constexpr Score MINOR_ATTACKS_ROOK  = S(45, 20);
constexpr Score MINOR_ATTACKS_QUEEN = S(50, 25);
constexpr Score PAWN_ATTACKS_MINOR  = S(55, 30);
constexpr Score PAWN_ATTACKS_ROOK   = S(60, 15);
// clang-format on

constexpr int KNIGHT_ATTACK_UNITS = 2;
constexpr int BISHOP_ATTACK_UNITS = 2;
constexpr int ROOK_ATTACK_UNITS   = 3;
constexpr int QUEEN_ATTACK_UNITS  = 5;
constexpr int QUEEN_SAFE_CHECK    = 6;
constexpr int ROOK_SAFE_CHECK     = 3;
constexpr int BISHOP_SAFE_CHECK   = 2;
constexpr int KNIGHT_SAFE_CHECK   = 2;
constexpr int ATTACK_UNITS_CAP    = 99;
constexpr int KING_DANGER_MAX     = 860;

constexpr int SHELTER_ENEMY_PAWN = 10;
constexpr int SHELTER_NO_PAWN    = 20;

constexpr Bitboard DARK_SQUARES = 0xAA55AA55AA55AA55ULL; // a1 is dark

constexpr std::array<int, ATTACK_UNITS_CAP + 1> make_king_danger_table()
{
    constexpr int low[23]
        = { 0, 0, 1, 2, 3, 5, 7, 10, 13, 16, 20, 24, 28, 33, 38, 44, 50, 56, 62, 68, 75, 83, 91 };
    std::array<int, ATTACK_UNITS_CAP + 1> t {};
    for (int i = 0; i <= ATTACK_UNITS_CAP; ++i)
        t[i] = i < 23 ? low[i] : 100 + 10 * (i - 23);
    return t;
}
// Danger in centipawns by attack units.
constexpr std::array<int, ATTACK_UNITS_CAP + 1> king_danger_table = make_king_danger_table();
static_assert(king_danger_table[ATTACK_UNITS_CAP] == KING_DANGER_MAX);

// Masks over ranks and files, built at compile time.
struct PawnMasks {
    Bitboard adjacent_files[8];
    Bitboard ahead[COLOR_NB][8]; // every rank strictly ahead of a rank
    Bitboard behind[COLOR_NB][8]; // every rank strictly behind
};
constexpr PawnMasks make_pawn_masks()
{
    PawnMasks m {};
    for (int f = 0; f < 8; ++f)
        m.adjacent_files[f] = (f > 0 ? file_bb(f - 1) : 0) | (f < 7 ? file_bb(f + 1) : 0);
    for (int r = 0; r < 8; ++r) {
        for (int other = 0; other < 8; ++other) {
            if (other > r) {
                m.ahead[WHITE][r] |= rank_bb(other);
                m.behind[BLACK][r] |= rank_bb(other);
            }
            if (other < r) {
                m.ahead[BLACK][r] |= rank_bb(other);
                m.behind[WHITE][r] |= rank_bb(other);
            }
        }
    }
    return m;
}
constexpr PawnMasks MASKS = make_pawn_masks();

inline Bitboard pawn_attack_set(Bitboard pawns, int color)
{
    const Bitboard forward = color == WHITE ? shift_north(pawns) : shift_south(pawns);
    return shift_east(forward) | shift_west(forward);
}

inline Bitboard pawns_of(const Board& board, int color)
{
    return board.pieces[make_piece(color, PAWN)];
}

inline Bitboard pieces_of(const Board& board, int color, int type)
{
    return board.pieces[make_piece(color, type)];
}

// The lowest square of a colour's king, or NO_SQUARE when it has none.
inline int king_square(const Board& board, int color)
{
    const Bitboard king = pieces_of(board, color, KING);
    return king ? lsb(king) : NO_SQUARE;
}

// One colour's pawn structure, that colour's own view (credits positive).
Score pawn_structure(const Board& board, int color)
{
    const Bitboard own          = pawns_of(board, color);
    const Bitboard enemy        = pawns_of(board, color ^ 1);
    const Bitboard enemy_attack = pawn_attack_set(enemy, color ^ 1);
    Score total                 = 0;
    for (Bitboard b = own; b;) {
        const int sq            = pop_lsb(b);
        const int file          = file_of(sq);
        const int rank          = rank_of(sq);
        const int relative_rank = color == WHITE ? rank : 7 - rank;
        const Bitboard pawn     = square_bb(sq);
        const Bitboard adjacent = MASKS.adjacent_files[file];
        const Bitboard ahead    = MASKS.ahead[color][rank];
        const Bitboard behind   = MASKS.behind[color][rank];

        if (more_than_one(own & file_bb(file)))
            total -= DOUBLED_PAWN;
        if ((own & adjacent) == 0)
            total -= ISOLATED_PAWN;

        const Bitboard beside = shift_east(pawn) | shift_west(pawn);
        const Bitboard support
            = beside | (color == WHITE ? shift_south(beside) : shift_north(beside));
        if (own & support)
            total += CONNECTED_PAWN;

        if ((enemy & (file_bb(file) | adjacent) & ahead) == 0)
            total += passed_pawn_bonus[relative_rank];
        else if ((enemy & file_bb(file) & ahead) == 0
            && popcount(own & adjacent & behind) >= popcount(enemy & adjacent & ahead))
            total += candidate_pawn_bonus[relative_rank];

        // A pawn on its last rank has no stop square; the shift then yields the empty set.
        const Bitboard stop = color == WHITE ? shift_north(pawn) : shift_south(pawn);
        if ((own & adjacent & behind) == 0 && (stop & enemy_attack))
            total -= BACKWARD_PAWN;
    }
    return total;
}

} // namespace

// Every square strictly behind (from `color`'s view) a pawn of the other colour on its own
// or an adjacent file: a pawn of `color` there is not passed.
static Bitboard passed_blockers(Bitboard enemy_pawns, int color)
{
    Bitboard span = enemy_pawns | shift_east(enemy_pawns) | shift_west(enemy_pawns);
    if (color == WHITE) {
        span >>= 8;
        span |= span >> 8;
        span |= span >> 16;
        span |= span >> 32;
    } else {
        span <<= 8;
        span |= span << 8;
        span |= span << 16;
        span |= span << 32;
    }
    return span;
}

static PawnEntry score_pawns(const Board& board)
{
    const Bitboard white_pawns = pawns_of(board, WHITE);
    const Bitboard black_pawns = pawns_of(board, BLACK);
    PawnEntry entry;
    entry.key    = board.pawn_hash;
    entry.passed = (white_pawns & ~passed_blockers(black_pawns, WHITE))
        | (black_pawns & ~passed_blockers(white_pawns, BLACK));
    entry.score = pawn_structure(board, WHITE) - pawn_structure(board, BLACK);
    return entry;
}

Score evaluate_pawns(const Board& board) { return score_pawns(board).score; }

static Score proximity(const Board& board, Bitboard passed)
{
    // Distances to a missing king mean nothing: without both kings the term is left out.
    const int white_king = king_square(board, WHITE);
    const int black_king = king_square(board, BLACK);
    if (white_king == NO_SQUARE || black_king == NO_SQUARE)
        return 0;

    Score total = 0;
    for (Bitboard b = passed & pawns_of(board, WHITE); b;) {
        const int sq = pop_lsb(b);
        const int closeness
            = 8 * square_distance(sq, black_king) - 5 * square_distance(sq, white_king);
        total += make_score(0, closeness * rank_of(sq) / 6);
    }
    for (Bitboard b = passed & pawns_of(board, BLACK); b;) {
        const int sq = pop_lsb(b);
        const int closeness
            = 8 * square_distance(sq, white_king) - 5 * square_distance(sq, black_king);
        total -= make_score(0, closeness * (7 - rank_of(sq)) / 6);
    }
    return total;
}

Score evaluate_pawn_terms(const Board& board, PawnEntry* cache)
{
    PawnEntry computed;
    PawnEntry* entry = &computed;
    if (cache != nullptr) {
        entry = &cache[board.pawn_hash & (PAWN_CACHE_SIZE - 1)];
        if (entry->key != board.pawn_hash)
            *entry = score_pawns(board);
    } else {
        computed = score_pawns(board);
    }
    return entry->score + (entry->passed ? proximity(board, entry->passed) : 0);
}

// What one colour's pieces earn and threaten, from a single pass over them that computes
// each piece's attack set once.
struct PieceTerms {
    Score mobility;
    Score outposts; // knights and bishops on outposts, bishops hemmed in by blocked pawns
    Score rooks; // open and semi-open files, the seventh rank
    Score threats;
    int enemy_king_units; // attack units against the enemy king; 0 when it has none
};

// Outpost squares: in the colour's advanced zone and beyond the reach of enemy pawns now or
// after they advance (their attacks filled backwards).
static Bitboard outpost_squares(Bitboard enemy_pawn_attacks, int color)
{
    Bitboard span = enemy_pawn_attacks;
    if (color == WHITE) {
        span |= span >> 8;
        span |= span >> 16;
        span |= span >> 32;
    } else {
        span |= span << 8;
        span |= span << 16;
        span |= span << 32;
    }
    const Bitboard zone = color == WHITE ? rank_bb(3) | rank_bb(4) | rank_bb(5)
                                         : rank_bb(4) | rank_bb(3) | rank_bb(2);
    return zone & ~span;
}

// King units: a piece attacking the king zone adds its weight, capped as they accumulate;
// then the uncapped units of the piece kinds that can give a safe check (of the queens, only
// the lowest is looked at).
// A template on the colour, so that its shifts and masks are constants.
// The squares around the enemy king and those from which each kind of piece would check it
// safely; all empty without an enemy king, so that no unit is counted.
struct KingTarget {
    Bitboard zone, knight_checks, bishop_checks, rook_checks;
};
static KingTarget king_target(const Board& board, int enemy, Bitboard enemy_pawn_attacks)
{
    const int k = king_square(board, enemy);
    if (k == NO_SQUARE)
        return { 0, 0, 0, 0 };
    const Bitboard safe = ~(enemy_pawn_attacks | board.occupancy[enemy ^ 1]);
    return { king_attacks[k], knight_attacks[k] & safe, bishop_attacks(k, board.occupied) & safe,
        rook_attacks(k, board.occupied) & safe };
}

// A minor piece on an outpost: more when a pawn backs it, more off the edge files.
static Score outpost_bonus(
    const Score (&bonus)[2][2], Bitboard outposts, Bitboard own_pawn_attacks, int sq)
{
    if (!(outposts & square_bb(sq)))
        return 0;
    const int centre = file_of(sq) != 0 && file_of(sq) != 7;
    const int backed = (own_pawn_attacks & square_bb(sq)) != 0;
    return bonus[backed][centre];
}

template <int color> static PieceTerms piece_terms_of(const Board& board)
{
    const int enemy                   = color ^ 1;
    const Bitboard occupied           = board.occupied;
    const Bitboard own_pawns          = pawns_of(board, color);
    const Bitboard enemy_pawns        = pawns_of(board, enemy);
    const Bitboard enemy_rooks        = pieces_of(board, enemy, ROOK);
    const Bitboard enemy_queens       = pieces_of(board, enemy, QUEEN);
    const Bitboard own_pawn_attacks   = pawn_attack_set(own_pawns, color);
    const Bitboard enemy_pawn_attacks = pawn_attack_set(enemy_pawns, enemy);
    const Bitboard counted  = ~(own_pawns | pieces_of(board, color, KING) | enemy_pawn_attacks);
    const Bitboard outposts = outpost_squares(enemy_pawn_attacks, color);

    const KingTarget target      = king_target(board, enemy, enemy_pawn_attacks);
    const Bitboard zone          = target.zone;
    const Bitboard knight_checks = target.knight_checks;
    const Bitboard bishop_checks = target.bishop_checks;
    const Bitboard rook_checks   = target.rook_checks;

    PieceTerms t { 0, 0, 0, 0, 0 };
    int units = 0;
    // Adds a piece's zone units; true when it can also give a safe check.
    const auto attacker = [&](Bitboard attacks, int weight, Bitboard checks) {
        if (attacks & zone)
            units = units + weight < ATTACK_UNITS_CAP ? units + weight : ATTACK_UNITS_CAP;
        return (attacks & checks) != 0;
    };
    const auto minor_threats = [&](Bitboard attacks) {
        if (attacks & enemy_rooks)
            t.threats += MINOR_ATTACKS_ROOK;
        if (attacks & enemy_queens)
            t.threats += MINOR_ATTACKS_QUEEN;
    };

    bool knight_check = false, bishop_check = false, rook_check = false;
    for (Bitboard b = pieces_of(board, color, KNIGHT); b;) {
        const int sq           = pop_lsb(b);
        const Bitboard attacks = knight_attacks[sq];
        const int n            = popcount(attacks & counted);
        t.mobility += knight_mobility[n < KNIGHT_MOBILITY_MAX ? n : KNIGHT_MOBILITY_MAX];
        t.outposts += outpost_bonus(knight_outpost_bonus, outposts, own_pawn_attacks, sq);
        minor_threats(attacks);
        knight_check |= attacker(attacks, KNIGHT_ATTACK_UNITS, knight_checks);
    }

    const Bitboard bishops = pieces_of(board, color, BISHOP);
    if (bishops) {
        const Bitboard blocked
            = own_pawns & (color == WHITE ? shift_south(enemy_pawns) : shift_north(enemy_pawns));
        const auto blocked_dark  = static_cast<Score>(popcount(blocked & DARK_SQUARES));
        const auto blocked_light = static_cast<Score>(popcount(blocked & ~DARK_SQUARES));
        for (Bitboard b = bishops; b;) {
            const int sq           = pop_lsb(b);
            const Bitboard attacks = bishop_attacks(sq, occupied);
            const int n            = popcount(attacks & counted);
            t.mobility += bishop_mobility[n < BISHOP_MOBILITY_MAX ? n : BISHOP_MOBILITY_MAX];
            t.outposts += outpost_bonus(bishop_outpost_bonus, outposts, own_pawn_attacks, sq);
            const bool on_dark = (DARK_SQUARES & square_bb(sq)) != 0;
            t.outposts += BLOCKED_PAWN_BY_BISHOP * (on_dark ? blocked_light : blocked_dark);
            minor_threats(attacks);
            bishop_check |= attacker(attacks, BISHOP_ATTACK_UNITS, bishop_checks);
        }
    }

    const Bitboard rooks = pieces_of(board, color, ROOK);
    if (rooks) {
        const Bitboard seventh    = rank_bb(color == WHITE ? 6 : 1);
        const Bitboard enemy_back = color == WHITE ? RANK_8_BB : RANK_1_BB;
        const bool seventh_has_prey
            = (pieces_of(board, enemy, KING) & enemy_back) != 0 || (enemy_pawns & seventh) != 0;
        for (Bitboard b = rooks; b;) {
            const int sq           = pop_lsb(b);
            const Bitboard attacks = rook_attacks(sq, occupied);
            const int n            = popcount(attacks & counted);
            t.mobility += rook_mobility[n < ROOK_MOBILITY_MAX ? n : ROOK_MOBILITY_MAX];
            const Bitboard file = file_bb(file_of(sq));
            if ((own_pawns & file) == 0)
                t.rooks += (enemy_pawns & file) ? ROOK_SEMI_OPEN_FILE : ROOK_OPEN_FILE;
            if ((seventh & square_bb(sq)) && seventh_has_prey)
                t.rooks += ROOK_ON_SEVENTH;
            rook_check |= attacker(attacks, ROOK_ATTACK_UNITS, rook_checks);
        }
    }

    int checks            = 0;
    const Bitboard queens = pieces_of(board, color, QUEEN);
    for (Bitboard b = queens; b;) {
        const bool lowest      = b == queens;
        const int sq           = pop_lsb(b);
        const Bitboard attacks = bishop_attacks(sq, occupied) | rook_attacks(sq, occupied);
        const int n            = popcount(attacks & counted);
        t.mobility += queen_mobility[n < QUEEN_MOBILITY_MAX ? n : QUEEN_MOBILITY_MAX];
        if (attacker(attacks, QUEEN_ATTACK_UNITS, rook_checks | bishop_checks) && lowest)
            checks += QUEEN_SAFE_CHECK;
    }
    checks += rook_check ? ROOK_SAFE_CHECK : 0;
    checks += bishop_check ? BISHOP_SAFE_CHECK : 0;
    checks += knight_check ? KNIGHT_SAFE_CHECK : 0;
    t.enemy_king_units = units + checks;

    if (own_pawn_attacks & (pieces_of(board, enemy, KNIGHT) | pieces_of(board, enemy, BISHOP)))
        t.threats += PAWN_ATTACKS_MINOR;
    if (own_pawn_attacks & enemy_rooks)
        t.threats += PAWN_ATTACKS_ROOK;
    return t;
}

static PieceTerms piece_terms(const Board& board, int color)
{
    return color == WHITE ? piece_terms_of<WHITE>(board) : piece_terms_of<BLACK>(board);
}

// A penalty for each file at and beside the king without a pawn of its own, larger when
// no enemy pawn stands on it either.
static int shelter_penalty(const Board& board, int color, int k)
{
    const Bitboard own_pawns   = pawns_of(board, color);
    const Bitboard enemy_pawns = pawns_of(board, color ^ 1);
    int penalty                = 0;
    for (int f = file_of(k) - 1; f <= file_of(k) + 1; ++f) {
        if (f < 0 || f > 7 || (own_pawns & file_bb(f)))
            continue;
        penalty += (enemy_pawns & file_bb(f)) ? SHELTER_ENEMY_PAWN : SHELTER_NO_PAWN;
    }
    return penalty;
}

static int danger_of(const Board& board, int color, int units)
{
    const int k = king_square(board, color);
    if (k == NO_SQUARE)
        return 0;
    return (units <= ATTACK_UNITS_CAP ? king_danger_table[units] : KING_DANGER_MAX)
        + shelter_penalty(board, color, k);
}

Score evaluate_mobility(const Board& board, int color)
{
    return piece_terms(board, color).mobility;
}
Score evaluate_rooks(const Board& board, int color) { return piece_terms(board, color).rooks; }
Score evaluate_threats(const Board& board, int color) { return piece_terms(board, color).threats; }

int king_danger(const Board& board, int color)
{
    return danger_of(board, color, piece_terms(board, color ^ 1).enemy_king_units);
}

Score evaluate_pieces(const Board& board)
{
    const PieceTerms white = piece_terms_of<WHITE>(board);
    const PieceTerms black = piece_terms_of<BLACK>(board);
    // King danger is a plain centipawn figure: added to the packed sum it lands in the mg half.
    return white.mobility - black.mobility + white.outposts - black.outposts + white.rooks
        - black.rooks + white.threats - black.threats
        + static_cast<Score>(danger_of(board, BLACK, white.enemy_king_units))
        - static_cast<Score>(danger_of(board, WHITE, black.enemy_king_units));
}
