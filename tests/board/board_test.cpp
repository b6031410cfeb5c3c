#include <gtest/gtest.h>

#include "checks.h"
#include "eval/psq.h"

namespace {

// Both styles, since the running score comes from the style's table.
TEST(Board, MakeUnmakeKeysAndLegalityOverRandomGames)
{
    for (const int style : { STYLE_LINEAR, STYLE_PESTO }) {
        eval_style = style;
        init_eval_tables();
        int positions = 0;
        walk_random_games(0x9E3779B97F4A7C15ULL + style, 24, 100, [&](Board& board) {
            ++positions;
            const std::string fault = check_make_unmake(board);
            ASSERT_EQ(fault, "") << mirrored_fen(board) << " (mirrored)";
        });
        EXPECT_GT(positions, 1000);
    }
}

} // namespace
