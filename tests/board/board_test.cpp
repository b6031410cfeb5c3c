#include <gtest/gtest.h>

#include "checks.h"

namespace {

// Both tables of square values, since the running score sums the board's.
TEST(Board, MakeUnmakeKeysAndLegalityOverRandomGames)
{
    for (const int table : { PSQ_LINEAR, PSQ_PESTO }) {
        int positions = 0;
        walk_random_games(
            0x9E3779B97F4A7C15ULL + (table == PSQ_LINEAR), 24, 100, [&](Board& board) {
                ++positions;
                set_psq_table(board, psq_tables[table]);
                const std::string fault = check_make_unmake(board);
                ASSERT_EQ(fault, "") << mirrored_fen(board) << " (mirrored)";
            });
        EXPECT_GT(positions, 1000);
    }
}

// The check the walker relies on sees each kind of damage on its own.
TEST(Board, ConsistencyCheckSeesEachDamage)
{
    const Board sound = board_from_fen("r3k2r/pppq1ppp/2n5/3pP3/8/8/PPP2PPP/R3K2R w KQkq d6 0 9");
    ASSERT_TRUE(board_is_consistent(sound));
    void (*const damages[])(Board&) = {
        [](Board& b) { b.hash ^= 1; },
        [](Board& b) { b.pawn_hash ^= 1; },
        [](Board& b) { b.psq_score += 1; },
        [](Board& b) { b.squares[0] = EMPTY; },
        [](Board& b) { b.occupancy[WHITE] ^= 1; },
        [](Board& b) { b.occupied ^= 1ULL << 63; },
        [](Board& b) { b.undo_count = -1; },
    };
    for (std::size_t i = 0; i < std::size(damages); ++i) {
        Board board = sound;
        damages[i](board);
        EXPECT_FALSE(board_is_consistent(board)) << "damage " << i;
    }
}

} // namespace
