#include <gtest/gtest.h>

#include "checks.h"
#include "eval/psq.h"

namespace {

TEST(Eval, ColourMirrorEvaluatesAlikeInBothStyles)
{
    for (const int style : { STYLE_LINEAR, STYLE_PESTO }) {
        eval_style = style;
        init_eval_tables();
        walk_random_games(
            77 + style, 30, 120, [](Board& board) { ASSERT_EQ(check_mirror_eval(board), ""); });
    }
}

} // namespace
