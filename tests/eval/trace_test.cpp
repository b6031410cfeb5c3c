// Exact text of the `eval` command.
#include <gtest/gtest.h>

#include <string>

#include "eval/eval.h"
#include "eval/psq.h"
#include "support.h"

namespace {

std::string trace(const char* fen, int style = STYLE_PESTO)
{
    eval_style = style;
    init_eval_tables();
    const Board board = board_from_fen(fen);
    testing::internal::CaptureStdout();
    eval_trace(board);
    std::fflush(stdout);
    std::string text = testing::internal::GetCapturedStdout();
    eval_style       = STYLE_PESTO;
    init_eval_tables();
    return text;
}

// The Linear style changes only the material-and-square row and the total.
std::string linear_variant(std::string text, const char* material_row, const char* total_row)
{
    const auto replace_row = [&text](const char* prefix, const char* row) {
        const std::size_t start = text.find(prefix);
        text.replace(start, text.find('\n', start) - start, row);
    };
    replace_row("Material+PST", material_row);
    replace_row("Total", total_row);
    return text;
}

} // namespace

TEST(EvalTrace, StartPosition)
{
    const std::string expected = "=== Evaluation Trace ===\n"
                                 "Phase: 24/24\n"
                                 "Material+PST      MG:    +0  EG:    +0\n"
                                 "Pawns             MG:    +0  EG:    +0\n"
                                 "Mobility          MG:    +0  EG:    +0\n"
                                 "RooksW            MG:    +0  EG:    +0\n"
                                 "RooksB            MG:    +0  EG:    +0\n"
                                 "Threats           MG:    +0  EG:    +0\n"
                                 "BishopPair           +0\n"
                                 "KingSafety        W: 0  B: 0  net: +0\n"
                                 "---\n"
                                 "Total (side-to-move): +20 cp\n";
    EXPECT_EQ(trace(START_FEN), expected);
    EXPECT_EQ(trace(START_FEN, STYLE_LINEAR), expected);
    EXPECT_EQ(trace("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"), expected);
}

TEST(EvalTrace, Kiwipete)
{
    const std::string pesto = "=== Evaluation Trace ===\n"
                              "Phase: 24/24\n"
                              "Material+PST      MG:   +56  EG:   -25\n"
                              "Pawns             MG:    +5  EG:   +12\n"
                              "Mobility          MG:   +28  EG:   -41\n"
                              "RooksW            MG:    +0  EG:    +0\n"
                              "RooksB            MG:    +0  EG:    +0\n"
                              "Threats           MG:   -55  EG:   -31\n"
                              "BishopPair           +0\n"
                              "KingSafety        W: 1  B: 1  net: +0\n"
                              "---\n"
                              "Total (side-to-move): +54 cp\n";
    EXPECT_EQ(trace("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"), pesto);
    EXPECT_EQ(
        trace("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", STYLE_LINEAR),
        linear_variant(
            pesto, "Material+PST      MG:   -46  EG:   -41", "Total (side-to-move): -48 cp"));
}

TEST(EvalTrace, RookEndgame)
{
    const std::string pesto = "=== Evaluation Trace ===\n"
                              "Phase: 4/24\n"
                              "Material+PST      MG:   +70  EG:   +34\n"
                              "Pawns             MG:   -42  EG:   -61\n"
                              "Mobility          MG:    +0  EG:    -6\n"
                              "RooksW            MG:    +0  EG:    +0\n"
                              "RooksB            MG:   -47  EG:   -26\n"
                              "Threats           MG:    +0  EG:    +0\n"
                              "BishopPair           +0\n"
                              "KingSafety        W: 27  B: 32  net: +5\n"
                              "---\n"
                              "Total (side-to-move): -31 cp\n";
    EXPECT_EQ(trace("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"), pesto);
    EXPECT_EQ(trace("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", STYLE_LINEAR),
        linear_variant(
            pesto, "Material+PST      MG:   +34  EG:   +45", "Total (side-to-move): -28 cp"));
}

TEST(EvalTrace, PromotionRace)
{
    const std::string pesto = "=== Evaluation Trace ===\n"
                              "Phase: 24/24\n"
                              "Material+PST      MG:  +136  EG:   +81\n"
                              "Pawns             MG:    -5  EG:   -13\n"
                              "Mobility          MG:   +90  EG:  +124\n"
                              "RooksW            MG:   +20  EG:   +13\n"
                              "RooksB            MG:   -20  EG:   -13\n"
                              "Threats           MG:   -65  EG:   -21\n"
                              "BishopPair           +0\n"
                              "KingSafety        W: 13  B: 13  net: +0\n"
                              "---\n"
                              "Total (side-to-move): +166 cp\n";
    EXPECT_EQ(trace("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"), pesto);
    EXPECT_EQ(
        trace("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", STYLE_LINEAR),
        linear_variant(
            pesto, "Material+PST      MG:  +240  EG:  +175", "Total (side-to-move): +270 cp"));
}

TEST(EvalTrace, BishopPairBlackToMove)
{
    const std::string pesto = "=== Evaluation Trace ===\n"
                              "Phase: 23/24\n"
                              "Material+PST      MG:  +353  EG:  +280\n"
                              "Pawns             MG:    +0  EG:    +0\n"
                              "Mobility          MG:   +39  EG:   +21\n"
                              "RooksW            MG:    +0  EG:    +0\n"
                              "RooksB            MG:    +0  EG:    +0\n"
                              "Threats           MG:    +0  EG:    +0\n"
                              "BishopPair          +22\n"
                              "KingSafety        W: 0  B: 0  net: +0\n"
                              "---\n"
                              "Total (side-to-move): -390 cp\n";
    EXPECT_EQ(trace("rnbqk1nr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1"), pesto);
    EXPECT_EQ(trace("rnbqk1nr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", STYLE_LINEAR),
        linear_variant(
            pesto, "Material+PST      MG:  +329  EG:  +287", "Total (side-to-move): -367 cp"));
}

TEST(EvalTrace, BareKings)
{
    const std::string expected = "=== Evaluation Trace ===\n"
                                 "Phase: 0/24\n"
                                 "Material+PST      MG:    +0  EG:    +0\n"
                                 "Pawns             MG:    +0  EG:    +0\n"
                                 "Mobility          MG:    +0  EG:    +0\n"
                                 "RooksW            MG:    +0  EG:    +0\n"
                                 "RooksB            MG:    +0  EG:    +0\n"
                                 "Threats           MG:    +0  EG:    +0\n"
                                 "BishopPair           +0\n"
                                 "KingSafety        W: 60  B: 60  net: +0\n"
                                 "---\n"
                                 "Total (side-to-move): +0 cp\n";
    EXPECT_EQ(trace("4k3/8/8/8/8/8/8/4K3 b - - 0 1"), expected);
    EXPECT_EQ(trace("4k3/8/8/8/8/8/8/4K3 b - - 0 1", STYLE_LINEAR), expected);
}

TEST(EvalTrace, NoKings)
{
    const std::string pesto = "=== Evaluation Trace ===\n"
                              "Phase: 0/24\n"
                              "Material+PST      MG:  +105  EG:   +92\n"
                              "Pawns             MG:   +35  EG:   +39\n"
                              "Mobility          MG:    +0  EG:    +0\n"
                              "RooksW            MG:    +0  EG:    +0\n"
                              "RooksB            MG:    +0  EG:    +0\n"
                              "Threats           MG:    +0  EG:    +0\n"
                              "BishopPair           +0\n"
                              "KingSafety        W: 0  B: 0  net: +0\n"
                              "---\n"
                              "Total (side-to-move): +151 cp\n";
    EXPECT_EQ(trace("8/8/8/4P3/8/8/8/8 w - - 0 1"), pesto);
    EXPECT_EQ(trace("8/8/8/4P3/8/8/8/8 w - - 0 1", STYLE_LINEAR),
        linear_variant(
            pesto, "Material+PST      MG:  +121  EG:  +125", "Total (side-to-move): +184 cp"));
}
