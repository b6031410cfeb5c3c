// Worked examples of the tapered evaluation: draws, taper, tempo, mop-up and scaling.
#include <gtest/gtest.h>

#include "eval/eval.h"
#include "eval/psq.h"
#include "support.h"

namespace {

Board style_board(const char* fen, int style = STYLE_PESTO)
{
    eval_style = style;
    init_eval_tables();
    Board board = board_from_fen(fen);
    eval_style  = STYLE_PESTO;
    init_eval_tables();
    return board;
}

} // namespace

TEST(Evaluate, StartPositionIsTempoForEitherSide)
{
    for (int style : { STYLE_PESTO, STYLE_LINEAR }) {
        EXPECT_EQ(evaluate(style_board(START_FEN, style)), 20);
        EXPECT_EQ(evaluate(style_board(
                      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1", style)),
            20);
    }
    EXPECT_EQ(evaluate_terms(style_board(START_FEN)), 0u);
    EXPECT_EQ(game_phase(style_board(START_FEN)), 24);
}

TEST(Evaluate, SymmetricPawnlessPositionIsScaledTempo)
{
    EXPECT_EQ(evaluate(style_board("r3k3/8/8/8/8/8/8/R3K3 w - - 0 1")), 1);
    EXPECT_EQ(evaluate(style_board("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1")), 1);
}

TEST(Evaluate, RecognisedDraws)
{
    const char* const draws[] = {
        "4k3/8/8/8/8/8/8/4K3",
        "4k3/8/8/8/8/8/8/3NK3",
        "4k3/8/8/8/8/8/8/3BK3",
        "3nk3/8/8/8/8/8/8/4K3",
        "3bk3/8/8/8/8/8/8/4K3",
        "4k3/8/8/8/8/8/8/2NNK3",
        "2nnk3/8/8/8/8/8/8/4K3",
        "4kb2/8/8/8/8/8/8/2B1K3",
    };
    for (const char* placement : draws) {
        for (const char* side : { " w - - 0 1", " b - - 0 1" }) {
            const std::string fen = std::string(placement) + side;
            SCOPED_TRACE(fen);
            EXPECT_EQ(evaluate(style_board(fen.c_str())), 0);
        }
    }
    // Knight against knight is played on (scaled tempo); so are two bishops or bishop and knight.
    EXPECT_EQ(evaluate(style_board("3nk3/8/8/8/8/8/8/3NK3 w - - 0 1")), 1);
    EXPECT_NE(evaluate(style_board("4k3/8/8/8/8/8/8/2BBK3 w - - 0 1")), 0);
    EXPECT_NE(evaluate(style_board("4k3/8/8/8/8/8/8/2BNK3 w - - 0 1")), 0);
}

TEST(Evaluate, TaperReadsTheUnroundedEndGameHalf)
{
    EXPECT_EQ(taper(make_score(-1, 10), 0), 9);
    EXPECT_EQ(taper(make_score(1, 10), 0), 10);
    EXPECT_EQ(taper(make_score(-1, 10), 24), -1);
    EXPECT_EQ(taper(make_score(100, -50), 12), 25);
    EXPECT_EQ(taper(make_score(-7, 1), 12), -3); // -3.5 truncates toward zero
}

TEST(Evaluate, ScaleFactors)
{
    // Bishops on different colours, no pawns: adv 0 for whoever is ahead.
    Board board = style_board("4k1b1/8/8/8/8/8/8/2B1K3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 30), 16);
    EXPECT_EQ(scale_factor(board, -30), 16);
    // Opposite bishops with White's two pawns: only a White advantage sees the pawns.
    board = style_board("4kb2/8/8/8/8/8/PP6/3BK3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 32);
    EXPECT_EQ(scale_factor(board, 0), 16); // 0 counts as Black ahead
    board = style_board("4kb2/8/8/8/8/8/PPPP4/3BK3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 96);
    board = style_board("4kb2/p7/8/8/8/8/PPPP4/3BK3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 160);
    EXPECT_EQ(scale_factor(board, -100), 160);
    // Same-coloured bishops with pawns: no scaling.
    board = style_board("4k1b1/8/8/8/8/8/PP6/3BK3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 256);
    // Rook and bishop against rook: adv 3; rook against bishop: adv 2; rook vs nothing: 5.
    board = style_board("r3k3/8/8/8/8/8/8/R1B1K3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 16);
    board = style_board("4kb2/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 16);
    board = style_board("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 64);
    EXPECT_EQ(scale_factor(board, -100), 16); // Black "ahead" with nothing: adv -5
    board = style_board("4k3/8/8/8/8/8/8/R1N1K3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 128);
    board = style_board("4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
    EXPECT_EQ(scale_factor(board, 100), 256);
    EXPECT_EQ(scale_factor(style_board(START_FEN), 20), 256);
}

TEST(Evaluate, MopUpAgainstALoneKing)
{
    // Lone king on a1, rook side's king on c3: 10 * (13 - 0 - 2).
    Board board = style_board("8/8/8/8/8/2K5/7R/k7 b - - 0 1");
    EXPECT_EQ(mop_up_bonus(board), 110);
    int t = taper(evaluate_terms(board), game_phase(board)) - 20 + 110;
    EXPECT_EQ(scale_factor(board, t), 64);
    EXPECT_EQ(evaluate(board), -(t * 64 / 256));
    // Lone king on d4 (edge distance 3), hunter on h8 (distance 4): 10 * (13 - 6 - 4).
    board = style_board("7K/8/8/8/3k4/8/8/R7 w - - 0 1");
    EXPECT_EQ(mop_up_bonus(board), 30);
    t = taper(evaluate_terms(board), game_phase(board)) + 20 + 30;
    EXPECT_EQ(evaluate(board), t * 64 / 256);
    // Black hunting with a queen: subtracted, and no scaling at adv 9.
    board = style_board("8/8/8/8/8/2k5/7q/K7 w - - 0 1");
    EXPECT_EQ(mop_up_bonus(board), -110);
    t = taper(evaluate_terms(board), game_phase(board)) + 20 - 110;
    EXPECT_EQ(scale_factor(board, t), 256);
    EXPECT_EQ(evaluate(board), t);
    // Not against a king with company, nor with two heavy pieces, nor without kings.
    EXPECT_EQ(mop_up_bonus(style_board("8/8/8/8/8/2K5/p6R/k7 b - - 0 1")), 0);
    EXPECT_EQ(mop_up_bonus(style_board("8/8/8/8/8/2K5/6RR/k7 b - - 0 1")), 0);
    EXPECT_EQ(mop_up_bonus(style_board("8/8/8/8/8/8/7R/k7 b - - 0 1")), 0);
    EXPECT_EQ(mop_up_bonus(style_board("8/8/8/8/8/2K5/7R/8 b - - 0 1")), 0);
}

TEST(Evaluate, ReferencePositions)
{
    const char* kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    EXPECT_EQ(evaluate(style_board(kiwipete, STYLE_PESTO)), 54);
    EXPECT_EQ(evaluate(style_board(kiwipete, STYLE_LINEAR)), -48);
    EXPECT_EQ(evaluate(style_board("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1")), -31);
}

// Impossible material must not produce a static score that the search reads as a mate.
TEST(Evaluate, StaysBelowTheMateRange)
{
    const Board b = style_board(
        "8/2p5/34/QQQQQQQ/QQQQQQQQ/QQQQQQQ/QQQQQQQQ/8/8/1/8/qqqqqqq/8/8/1/8/qqqqqqqqK");
    EXPECT_EQ(evaluate(b), EVAL_LIMIT);
}
