#include <gtest/gtest.h>

#include <random>

#include "movegen/movegen.h"
#include "support.h"

namespace {

TEST(Attacks, MagicLookupsMatchRayWalks)
{
    init_core_tables();
    std::mt19937_64 rng(7);
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        for (int i = 0; i < 300; ++i) {
            // Sparse and dense occupancies both.
            const Bitboard occ = i % 2 ? rng() & rng() : rng() | rng();
            ASSERT_EQ(bishop_attacks(sq, occ), slow_bishop_attacks(sq, occ)) << sq;
            ASSERT_EQ(rook_attacks(sq, occ), slow_rook_attacks(sq, occ)) << sq;
        }
    }
}

TEST(Attacks, TableLayout)
{
    init_core_tables();
    EXPECT_EQ(popcount(rook_attacks(0, 0)), 14);
    EXPECT_EQ(bishop_attacks(0, 0), 0x8040201008040200ULL);
    EXPECT_EQ(popcount(bishop_magics[0].mask), 6);
    EXPECT_EQ(popcount(rook_magics[0].mask), 12);
    EXPECT_EQ(popcount(bishop_magics[27].mask), 9);
    // Packed blocks: h8's block ends where the sum of all block sizes ends.
    int bishop_slots = 0, rook_slots = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        EXPECT_EQ(bishop_magics[sq].attacks, bishop_attack_table + bishop_slots);
        EXPECT_EQ(rook_magics[sq].attacks, rook_attack_table + rook_slots);
        bishop_slots += 1 << popcount(bishop_magics[sq].mask);
        rook_slots += 1 << popcount(rook_magics[sq].mask);
        EXPECT_NE(rook_magics[sq].magic, 0u);
    }
    EXPECT_EQ(bishop_slots, 5248);
    EXPECT_EQ(rook_slots, 102400);
}

// The seeded search must keep finding the same magics, run after run and build after build.
TEST(Attacks, MagicSearchIsDeterministic)
{
    init_core_tables();
    std::uint64_t digest = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        digest = digest * 31 + bishop_magics[sq].magic;
        digest = digest * 31 + rook_magics[sq].magic;
    }
    EXPECT_EQ(digest, 0x232806fc9649489dULL);
    EXPECT_EQ(magic_rng_state, 0xa3cc84ec984dfe0fULL);
}

TEST(Attacks, LeaperTables)
{
    init_core_tables();
    EXPECT_EQ(pawn_attacks[WHITE][15], square_bb(22)); // h2: g3 only
    EXPECT_EQ(pawn_attacks[BLACK][48], square_bb(41)); // a7: b6 only
    EXPECT_EQ(pawn_attacks[WHITE][60], 0u); // rank 8 attacks nothing
    EXPECT_EQ(pawn_attacks[WHITE][4], square_bb(11) | square_bb(13)); // rank 1 is ordinary
    EXPECT_EQ(knight_attacks[0], square_bb(17) | square_bb(10));
    EXPECT_EQ(king_attacks[0], square_bb(1) | square_bb(8) | square_bb(9));
}

TEST(AttackQueries, SquareAttackedAndCheck)
{
    Board b = board_from_fen("4k3/8/8/8/4P3/8/8/R3K3 w - - 0 1");
    EXPECT_TRUE(is_square_attacked(35, WHITE, b.occupied, b)); // d5 by the pawn
    EXPECT_FALSE(is_square_attacked(36, WHITE, b.occupied, b));
    EXPECT_TRUE(is_square_attacked(56, WHITE, b.occupied, b)); // a8 by the rook
    EXPECT_FALSE(is_square_attacked(0, WHITE, b.occupied, b)); // own square
    // A blocker lifted off the occupancy is honoured.
    b = board_from_fen("r3k3/8/8/8/P7/8/8/4K3 w - - 0 1");
    EXPECT_FALSE(is_square_attacked(0, BLACK, b.occupied, b));
    EXPECT_TRUE(is_square_attacked(0, BLACK, b.occupied & ~square_bb(24), b));
    EXPECT_FALSE(in_check(board_from_fen("8/8/8/8/8/8/8/r7 w - - 0 1"), WHITE));
    EXPECT_TRUE(in_check(board_from_fen("4k3/8/8/8/8/8/8/q3K3 w - - 0 1"), WHITE));
    EXPECT_EQ(attacks_of(6, 0, WHITE, 0), 0u);
    EXPECT_EQ(attacks_of(QUEEN, 0, WHITE, 0), rook_attacks(0, 0) | bishop_attacks(0, 0));
}

} // namespace
