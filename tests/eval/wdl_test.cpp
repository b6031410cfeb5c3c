#include <gtest/gtest.h>

#include "checks.h"
#include "eval/wdl.h"

namespace {

// For every style and material: a whole per mille, the win chance never falling and the loss
// chance never rising as the score grows, the same chances for either side (the loss of a
// score is the win of its negation), and certainty for a mate.
TEST(EvalWdl, WholeMonotoneSymmetricAndCertainForMates)
{
    for (const EvalStyle style : { EvalStyle::PeSTO, EvalStyle::Linear, EvalStyle::Neural }) {
        for (int material = 0; material <= 90; material += 3) {
            Wdl previous = wdl_of_score(-EVAL_LIMIT, material, style);
            for (int score = -EVAL_LIMIT; score <= EVAL_LIMIT; score += 7) {
                const Wdl wdl = wdl_of_score(score, material, style);
                const Wdl neg = wdl_of_score(-score, material, style);
                ASSERT_EQ(wdl.win + wdl.draw + wdl.loss, 1000) << score << " " << material;
                ASSERT_TRUE(wdl.win >= 0 && wdl.draw >= 0 && wdl.loss >= 0) << score;
                ASSERT_GE(wdl.win, previous.win) << score << " " << material;
                ASSERT_LE(wdl.loss, previous.loss) << score << " " << material;
                ASSERT_TRUE(wdl.win == neg.loss && wdl.loss == neg.win) << score << " " << material;
                previous = wdl;
            }
            EXPECT_EQ(wdl_of_score(SCORE_MATE - 3, material, style).win, 1000);
            EXPECT_EQ(wdl_of_score(-(SCORE_MATE - 4), material, style).loss, 1000);
        }
    }
}

} // namespace
