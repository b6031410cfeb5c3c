// Tests of the style tables behind psq_table.
#include <gtest/gtest.h>

#include "eval/psq.h"
#include "support.h"

namespace {

void select_style(int style)
{
    eval_style = style;
    init_eval_tables();
}

struct StyleGuard {
    ~StyleGuard() { select_style(STYLE_PESTO); }
};

constexpr int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }

} // namespace

TEST(PackedScore, EndGameHalfReadsBackUnrounded)
{
    EXPECT_EQ(mg_of(make_score(-35, 13)), -35);
    EXPECT_EQ(eg_of(make_score(-35, 13)), 12);
    EXPECT_EQ(mg_of(make_score(35, 13)), 35);
    EXPECT_EQ(eg_of(make_score(35, 13)), 13);
    EXPECT_EQ(make_score(3, -4) - make_score(5, 6), make_score(-2, -10));
}

TEST(PsqTable, WorkedEntriesInBothStyles)
{
    StyleGuard guard;
    for (int style : { STYLE_PESTO, STYLE_LINEAR }) {
        SCOPED_TRACE(style);
        select_style(style);
        EXPECT_EQ(psq_table[KING][sq("e1")], make_score(8, -14));
        EXPECT_EQ(psq_table[KING + 6][sq("e8")], 0u - make_score(8, -14));
        EXPECT_EQ(psq_table[KING][sq("a1")], make_score(-15, -30));
        EXPECT_EQ(psq_table[KING][sq("g1")], make_score(24, -13));
        EXPECT_EQ(psq_table[KING][sq("a8")], make_score(-65, -30));
        EXPECT_EQ(psq_table[ROOK][sq("a1")], make_score(477 - 19, 512 - 10));
    }

    select_style(STYLE_PESTO);
    // a2 pawn: stored (-35, 13) reads back with eg 12.
    EXPECT_EQ(psq_table[PAWN][sq("a2")], make_score(47, 106));
    EXPECT_EQ(psq_table[PAWN + 6][sq("a7")], 0u - make_score(47, 106));
    EXPECT_EQ(psq_table[QUEEN][sq("e8")], make_score(1025 + 59, 936 - 2));
    // The queen's rank-8 end-game row is the engine's own; the middle-game row is published.
    EXPECT_EQ(psq_table[QUEEN][sq("b8")], make_score(1025 + 0, 936 - 22));
    EXPECT_EQ(psq_table[QUEEN][sq("a8")], make_score(1025 - 28, 936 - 10));
    EXPECT_EQ(psq_table[QUEEN][sq("h8")], make_score(1025 + 45, 936 - 12));
    EXPECT_EQ(psq_table[PAWN][sq("h7")], make_score(82 - 11, 94 + 186));
    EXPECT_EQ(psq_table[PAWN][sq("a1")], make_score(82, 94));
    EXPECT_EQ(psq_table[KNIGHT][sq("a1")], make_score(337 - 105, 281 - 30));
    EXPECT_EQ(psq_table[KNIGHT][sq("b1")], make_score(337 - 21, 281 - 52));
    EXPECT_EQ(psq_table[BISHOP][sq("f4")], make_score(365 + 12, 297 + 10));

    select_style(STYLE_LINEAR);
    EXPECT_EQ(psq_table[PAWN][sq("e2")], make_score(82 + 24, 94 + 50));
    EXPECT_EQ(psq_table[PAWN][sq("c3")], make_score(82 - 4, 94 - 9));
    EXPECT_EQ(psq_table[KNIGHT][sq("h1")], make_score(337 - 167, 281 - 100));
    EXPECT_EQ(psq_table[BISHOP][sq("h8")], make_score(365 + 72, 297 + 18));
    EXPECT_EQ(psq_table[QUEEN][sq("a2")], make_score(1025 - 49, 936 - 38));
    EXPECT_EQ(psq_table[QUEEN][sq("e8")], make_score(1025 + 27, 936 + 24));
}

TEST(PsqTable, LinearSharesRookAndKingWithPesto)
{
    StyleGuard guard;
    Score pesto[PIECE_NB][SQUARE_NB];
    select_style(STYLE_PESTO);
    std::copy(&psq_table[0][0], &psq_table[0][0] + PIECE_NB * SQUARE_NB, &pesto[0][0]);
    select_style(STYLE_LINEAR);
    int differing_pawns = 0;
    for (int s = 0; s < SQUARE_NB; ++s) {
        for (int color = WHITE; color <= BLACK; ++color) {
            EXPECT_EQ(psq_table[make_piece(color, ROOK)][s], pesto[make_piece(color, ROOK)][s]);
            EXPECT_EQ(psq_table[make_piece(color, KING)][s], pesto[make_piece(color, KING)][s]);
        }
        differing_pawns += psq_table[PAWN][s] != pesto[PAWN][s];
    }
    EXPECT_EQ(differing_pawns, 48);
}

TEST(PsqTable, MirroredNegationAndIdempotentRebuild)
{
    StyleGuard guard;
    for (int style : { STYLE_PESTO, STYLE_LINEAR, 7 }) {
        select_style(style);
        Score first[PIECE_NB][SQUARE_NB];
        std::copy(&psq_table[0][0], &psq_table[0][0] + PIECE_NB * SQUARE_NB, &first[0][0]);
        init_eval_tables();
        for (int type = PAWN; type <= KING; ++type) {
            for (int s = 0; s < SQUARE_NB; ++s) {
                EXPECT_EQ(psq_table[type + 6][s ^ 56], 0u - psq_table[type][s]);
                EXPECT_EQ(psq_table[type][s], first[type][s]);
            }
        }
    }
    // Any style value but Linear builds PeSTO.
    select_style(7);
    EXPECT_EQ(psq_table[QUEEN][sq("e8")], make_score(1084, 934));
}

TEST(PsqTable, StartPositionSumsToZeroInBothStyles)
{
    StyleGuard guard;
    for (int style : { STYLE_PESTO, STYLE_LINEAR }) {
        select_style(style);
        const Board board = board_from_fen(START_FEN);
        EXPECT_EQ(board.psq_score, 0u);
        EXPECT_EQ(compute_psq_score(board), 0u);
    }
}
