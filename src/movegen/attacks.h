// attacks.h: attack tables built once by init_attack_tables and read-only afterwards.
//
// Pawn, knight and king sets are fixed tables; bishop and rook sets come from magic
// bitboards whose multipliers are found at start-up by a fixed-seed search (xorshift64*,
// seed 0x1234567890ABCDEF, bishops then rooks, squares a1..h8), so every run builds the same
// tables. A slider set holds, on every ray, the empty squares up to and including the first
// blocker of either colour.
#pragma once

#include "board/types.h"

struct MagicEntry {
    Bitboard mask; // relevant occupancy: the rays without their edge squares
    Bitboard magic;
    Bitboard* attacks; // this square's block inside the table of its kind
    std::uint32_t shift; // 64 - popcount(mask)
};

extern Bitboard pawn_attacks[COLOR_NB][SQUARE_NB];
extern Bitboard knight_attacks[SQUARE_NB];
extern Bitboard king_attacks[SQUARE_NB];
extern MagicEntry bishop_magics[SQUARE_NB];
extern MagicEntry rook_magics[SQUARE_NB];

void init_attack_tables();

inline Bitboard bishop_attacks(int sq, Bitboard occupancy)
{
    const MagicEntry& e = bishop_magics[sq];
    return e.attacks[((occupancy & e.mask) * e.magic) >> e.shift];
}
inline Bitboard rook_attacks(int sq, Bitboard occupancy)
{
    const MagicEntry& e = rook_magics[sq];
    return e.attacks[((occupancy & e.mask) * e.magic) >> e.shift];
}
