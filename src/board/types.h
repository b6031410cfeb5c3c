// types.h: the vocabulary shared by every unit: squares, colours, pieces, the 16-bit move
// word and bitboard helpers.
//
// Squares run a1 = 0, b1 = 1, ..., h1 = 7, a2 = 8, ..., h8 = 63; file = sq % 8, rank = sq / 8.
// Bit n of a Bitboard stands for square n. Sets are always walked from the lowest square up,
// which fixes the order of generated moves.
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>

using Bitboard = std::uint64_t;

constexpr int SQUARE_NB = 64;
constexpr int NO_SQUARE = 64;

constexpr int WHITE    = 0;
constexpr int BLACK    = 1;
constexpr int COLOR_NB = 2;

// Piece types; a piece code is colour * 6 + type ("PNBRQKpnbrqk"), EMPTY marks a free square.
constexpr int PAWN          = 0;
constexpr int KNIGHT        = 1;
constexpr int BISHOP        = 2;
constexpr int ROOK          = 3;
constexpr int QUEEN         = 4;
constexpr int KING          = 5;
constexpr int PIECE_TYPE_NB = 6;
constexpr int PIECE_NB      = 12;
constexpr int EMPTY         = 12;
constexpr int NO_CAPTURE    = 6;

constexpr int CASTLE_WK = 1;
constexpr int CASTLE_WQ = 2;
constexpr int CASTLE_BK = 4;
constexpr int CASTLE_BQ = 8;

constexpr int make_piece(int color, int type) { return color * 6 + type; }
constexpr int type_of(int piece) { return piece % 6; }
constexpr int color_of(int piece) { return piece / 6; }
constexpr int file_of(int sq) { return sq & 7; }
constexpr int rank_of(int sq) { return sq >> 3; }
constexpr int make_square(int file, int rank) { return rank * 8 + file; }

// Move word: bits 0-5 from, bits 6-11 to, bits 12-15 flags.
//   0 quiet, 1 double push, 2 king-side castle, 3 queen-side castle, 4 capture, 5 en passant,
//   8-11 promotion to N, B, R, Q; 12-15 the same with capture.
// Castling goes from the king's square to its destination in standard chess (e1g1, e8c8) and
// to the square of its own rook in Chess960 (e1h1, b1a1), so that the word reads as the
// mode's notation; the rook's square comes from the board either way.
using Move = std::uint16_t;

constexpr Move NO_MOVE   = 0;
constexpr Move NULL_MOVE = 65; // from b1 to b1: the search's mark for a null move

constexpr int FLAG_QUIET        = 0;
constexpr int FLAG_DOUBLE_PUSH  = 1;
constexpr int FLAG_KING_CASTLE  = 2;
constexpr int FLAG_QUEEN_CASTLE = 3;
constexpr int FLAG_CAPTURE      = 4;
constexpr int FLAG_EP_CAPTURE   = 5;
constexpr int FLAG_PROMOTION    = 8;

constexpr Move make_move_word(int from, int to, int flags)
{
    return static_cast<Move>(from | (to << 6) | (flags << 12));
}
constexpr int move_from(Move m) { return m & 63; }
constexpr int move_to(Move m) { return (m >> 6) & 63; }
constexpr int move_flags(Move m) { return m >> 12; }
constexpr bool is_capture(Move m) { return (move_flags(m) & FLAG_CAPTURE) != 0; }
constexpr bool is_promotion(Move m) { return (move_flags(m) & FLAG_PROMOTION) != 0; }
constexpr bool is_quiet(Move m) { return (move_flags(m) & (FLAG_CAPTURE | FLAG_PROMOTION)) == 0; }
constexpr bool is_castling(Move m)
{
    return move_flags(m) == FLAG_KING_CASTLE || move_flags(m) == FLAG_QUEEN_CASTLE;
}
constexpr int promotion_type(Move m) { return (move_flags(m) & 3) + 1; } // KNIGHT..QUEEN

// Limits shared by the move lists, the search and the game history.
constexpr int MAX_MOVES        = 256; // the known maximum of legal moves is 218
constexpr int MAX_PLY          = 128; // plies a search goes below its root, at most
constexpr int MAX_SEARCH_DEPTH = MAX_PLY - 1;

// Search scores: centipawns from the side to move's view, in bands from the top down:
//   mates: a side mated at ply p scores -(SCORE_MATE - p); every mate lies at or above
//     SCORE_MATE_MIN, since no line is longer than MAX_PLY;
//   proven wins (endgame tables): SCORE_PROVEN_WIN - p for a win proven at ply p;
//   from SCORE_MATE_BOUND up every score is decisive (a mate or a proven win), and scores there
//     are relative to the root: the table stores them relative to the storing node;
//   evaluations: at most EVAL_LIMIT either way.
// The negatives mirror each band.
constexpr int SCORE_MATE       = 31000;
constexpr int SCORE_MATE_MIN   = SCORE_MATE - MAX_PLY;
constexpr int SCORE_PROVEN_WIN = SCORE_MATE_MIN - 1;
constexpr int SCORE_MATE_BOUND = 30000;
constexpr int EVAL_LIMIT       = SCORE_MATE_BOUND - 1;
constexpr int SCORE_INFINITE   = 32000;
constexpr int SCORE_NONE       = 32001;
static_assert(SCORE_PROVEN_WIN - MAX_PLY > SCORE_MATE_BOUND && SCORE_MATE < SCORE_INFINITE);

constexpr bool is_decisive(int score)
{
    return score >= SCORE_MATE_BOUND || score <= -SCORE_MATE_BOUND;
}
constexpr bool is_mate(int score) { return score >= SCORE_MATE_MIN || score <= -SCORE_MATE_MIN; }
// Moves to the mate of a mate score: positive when the side to move gives it, negative when it
// is mated.
constexpr int mate_in_moves(int score)
{
    return score > 0 ? (SCORE_MATE + 1 - score) / 2 : -((score + SCORE_MATE + 1) / 2);
}

// Bitboard helpers.
constexpr Bitboard FILE_A_BB = 0x0101010101010101ULL;
constexpr Bitboard FILE_H_BB = 0x8080808080808080ULL;
constexpr Bitboard RANK_1_BB = 0xFFULL;
constexpr Bitboard RANK_8_BB = 0xFFULL << 56;

constexpr Bitboard square_bb(int sq) { return 1ULL << sq; }
constexpr Bitboard file_bb(int file) { return FILE_A_BB << file; }
constexpr Bitboard rank_bb(int rank) { return RANK_1_BB << (8 * rank); }
constexpr Bitboard shift_north(Bitboard b) { return b << 8; }
constexpr Bitboard shift_south(Bitboard b) { return b >> 8; }
constexpr Bitboard shift_east(Bitboard b) { return (b & ~FILE_H_BB) << 1; } // no wrap to file a
constexpr Bitboard shift_west(Bitboard b) { return (b & ~FILE_A_BB) >> 1; } // no wrap to file h
constexpr bool more_than_one(Bitboard b) { return (b & (b - 1)) != 0; }
constexpr int popcount(Bitboard b) { return std::popcount(b); }

inline int lsb(Bitboard b)
{
    assert(b != 0);
    return std::countr_zero(b);
}
inline int msb(Bitboard b)
{
    assert(b != 0);
    return 63 - std::countl_zero(b);
}
inline int pop_lsb(Bitboard& b)
{
    const int sq = lsb(b);
    b &= b - 1;
    return sq;
}

// King distance: max of the file and rank differences.
inline int square_distance(int a, int b)
{
    const int df = file_of(a) > file_of(b) ? file_of(a) - file_of(b) : file_of(b) - file_of(a);
    const int dr = rank_of(a) > rank_of(b) ? rank_of(a) - rank_of(b) : rank_of(b) - rank_of(a);
    return df > dr ? df : dr;
}
