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

} // namespace
