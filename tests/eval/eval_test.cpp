#include <gtest/gtest.h>

#include "checks.h"
#include "eval/psq.h"

namespace {

TEST(Eval, ColourMirrorEvaluatesAlikeInBothStyles)
{
    for (const int table : { PSQ_LINEAR, PSQ_PESTO }) {
        walk_random_games(77 + (table == PSQ_LINEAR), 30, 120, [table](Board& board) {
            set_psq_table(board, psq_tables[table]);
            ASSERT_EQ(check_mirror_eval(board), "");
            set_psq_table(board, psq_tables[PSQ_PESTO]);
        });
    }
}

} // namespace
