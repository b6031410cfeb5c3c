// Worked examples of the positional terms.
#include <gtest/gtest.h>

#include "eval/eval.h"
#include "eval/psq.h"
#include "eval/terms.h"
#include "support.h"

namespace {

Board pesto_board(const char* fen)
{
    eval_style = STYLE_PESTO;
    init_eval_tables();
    return board_from_fen(fen);
}

} // namespace

TEST(Mobility, StartPositionPerColour)
{
    const Board board = pesto_board(START_FEN);
    EXPECT_EQ(evaluate_mobility(board, WHITE), make_score(-182, -215));
    EXPECT_EQ(evaluate_mobility(board, BLACK), make_score(-182, -215));
}

TEST(Mobility, CountsAreCappedOnCrowdedBoards)
{
    // A queen on an empty board sees 27 squares, the top of the table.
    Board board = pesto_board("8/8/8/8/3Q4/8/8/8 w - - 0 1");
    EXPECT_EQ(evaluate_mobility(board, WHITE), make_score(7, 28));
    board = pesto_board("QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/8/8/8/k6K w - - 0 1");
    EXPECT_EQ(evaluate_mobility(board, BLACK), 0u);
    (void)evaluate_mobility(board, WHITE); // 32 table look-ups, none past the end
    board = pesto_board("NNNNNNNN/NNNNNNNN/8/8/8/8/nnnnnnnn/nnnnnnnn w - - 0 1");
    EXPECT_EQ(evaluate_mobility(board, WHITE), evaluate_mobility(board, BLACK));
}

TEST(Pawns, PassedPawnAndKingProximity)
{
    const Board board = pesto_board("4k3/8/8/4P3/4K3/8/8/8 w - - 0 1");
    // Passed on e5 (46, 54), isolated (11, 15).
    EXPECT_EQ(compute_pawn_score(board), make_score(35, 39));
    EXPECT_EQ(passed_pawn_proximity(board), make_score(0, 12));
}

TEST(Pawns, DoubledAndIsolatedPayPerPawn)
{
    const Board board = pesto_board("4k3/8/8/8/8/2P5/2P5/4K3 w - - 0 1");
    // Both doubled and isolated; c3 and c2 are passed (12, 23) and (5, 18).
    EXPECT_EQ(compute_pawn_score(board), make_score(-15, -13));
}

TEST(Pawns, BackwardCandidateAndConnected)
{
    // e4 backward (stop square hit by f6), d5 connected and passed; f6 isolated and backward.
    Board board = pesto_board("4k3/8/5p2/3P4/4P3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(compute_pawn_score(board), make_score(62, 77));
    // d4 connected candidate (one helper against one sentry), c3 passed; e6 isolated, backward.
    board = pesto_board("4k3/8/4p3/8/3P4/2P5/8/4K3 w - - 0 1");
    EXPECT_EQ(compute_pawn_score(board), make_score(48, 73));
}

TEST(Pawns, HashSlotIsReusedAndReplaced)
{
    const Board board = pesto_board("4k3/8/5p2/3P4/4P3/8/8/4K3 w - - 0 1");
    PawnEntry& slot   = pawn_hash_table[board.pawn_hash & (PAWN_HASH_SIZE - 1)];
    slot              = { board.pawn_hash, make_score(1, 2) };
    EXPECT_EQ(evaluate_pawns(board), make_score(1, 2));
    slot = { board.pawn_hash ^ 0x10000, make_score(1, 2) };
    EXPECT_EQ(evaluate_pawns(board), make_score(62, 77));
    EXPECT_EQ(slot.key, board.pawn_hash);
    EXPECT_EQ(slot.score, make_score(62, 77));
}

TEST(Outposts, KnightAndBishopOutpostsAndBlockedPawns)
{
    Board board = pesto_board("4k3/p6p/8/3N4/4P3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_outposts(board, WHITE), make_score(30, 18));
    EXPECT_EQ(evaluate_outposts(board, BLACK), 0u);
    // Unsupported edge-file knight.
    board = pesto_board("4k3/8/7N/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_outposts(board, WHITE), make_score(10, 5));
    // A light-squared bishop behind blocked pawns: only the dark-square one (d4) counts.
    board = pesto_board("4k3/8/8/3pp3/3PP3/3B4/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_outposts(board, WHITE), make_score(-4, -6));
    // A supported centre bishop outpost on f5 plus the same blocked pawn.
    board = pesto_board("4k3/8/8/3ppB2/3PP3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_outposts(board, WHITE), make_score(16, 6));
    // Black's zone is ranks 5 to 3: a knight on d4 with a pawn on e5 behind it.
    board = pesto_board("4k3/8/8/4p3/3n4/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_outposts(board, BLACK), make_score(30, 18));
    // A square an enemy pawn can still attack after advancing is no outpost.
    board = pesto_board("4k3/8/8/3N4/8/8/2P5/4K3 b - - 0 1");
    EXPECT_EQ(evaluate_outposts(board, WHITE), make_score(15, 8));
    board = pesto_board("4k3/2p5/8/3N4/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_outposts(board, WHITE), 0u);
}

TEST(Rooks, FilesAndSeventhRank)
{
    Board board = pesto_board("6k1/4R3/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_rooks(board, WHITE), make_score(74, 59));
    board = pesto_board("4k3/3p4/8/8/8/8/r7/3RK3 w - - 0 1");
    EXPECT_EQ(evaluate_rooks(board, WHITE), make_score(20, 13));
    EXPECT_EQ(evaluate_rooks(board, BLACK), make_score(74, 59));
    board = pesto_board("8/4R1p1/5k2/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_rooks(board, WHITE), make_score(74, 59));
    board = pesto_board("8/4R3/5k2/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_rooks(board, WHITE), make_score(47, 26));
    board = pesto_board("4k3/4p3/8/8/8/8/4P3/4RK2 w - - 0 1");
    EXPECT_EQ(evaluate_rooks(board, WHITE), 0u);
}

TEST(Threats, MinorForksAndPawnAttacksCountOnce)
{
    const Board board = pesto_board("4k3/2r1q3/8/3N4/n1n4r/1P4P1/8/4K3 w - - 0 1");
    EXPECT_EQ(evaluate_threats(board, WHITE), make_score(210, 90));
    EXPECT_EQ(evaluate_threats(board, BLACK), 0u);
}

TEST(KingDanger, ShelterFiles)
{
    Board board = pesto_board("4k3/8/8/8/8/8/PP4PP/4K3 w - - 0 1");
    EXPECT_EQ(king_danger(board, WHITE), 60);
    EXPECT_EQ(king_danger(board, BLACK), 60);
    board = pesto_board("k7/8/8/8/8/8/8/K7 w - - 0 1");
    EXPECT_EQ(king_danger(board, WHITE), 40);
    board = pesto_board("k7/8/8/p7/8/8/8/K7 w - - 0 1");
    EXPECT_EQ(king_danger(board, WHITE), 30);
    EXPECT_EQ(king_danger(board, BLACK), 20);
}

TEST(KingDanger, OnlyTheLowestQueenIsExaminedForChecks)
{
    // The queen on a3 neither reaches the zone nor checks; c6 does both but is not lowest.
    Board board = pesto_board("7k/8/2q5/8/8/q7/6PP/6RK w - - 0 1");
    EXPECT_EQ(king_danger(board, WHITE), 5); // 5 units
    board = pesto_board("7k/8/q7/8/4q3/8/6PP/6RK w - - 0 1");
    EXPECT_EQ(king_danger(board, WHITE), 24); // 5 + 6 units
    board = pesto_board("7k/8/8/8/4q2q/8/6PP/6RK w - - 0 1");
    EXPECT_EQ(king_danger(board, WHITE), 50); // 5 + 5 + 6 units
}

TEST(KingDanger, UnitsBeyondTheTableGiveTheMaximum)
{
    // Sixteen queens and twenty knights around e4 fill the zone: capped at 99, then +6 for
    // the queen check runs past the table.
    const Board board
        = pesto_board("k7/2nnnnn1/1nqqqqqn/1nq3qn/1nq1K1qn/1nq3qn/1nqqqqqn/2nnnnn1 w - - 0 1");
    EXPECT_EQ(king_danger(board, WHITE), 860 + 60);
}

TEST(HostileBoards, MissingKingsAndOddPawns)
{
    const char* const fens[] = {
        "8/8/8/4P3/8/8/8/8 w - - 0 1",
        "8/8/8/4p3/8/8/8/4K3 b - - 0 1",
        "4k3/8/8/4P3/8/8/8/8 w - - 0 1",
        "8/8/8/8/8/8/8/R3K3 w - - 0 1",
        "8/8/8/8/8/8/8/r7 w - - 0 1",
        "8/8/8/8/8/8/8/8 w - - 0 1",
        "P6p/8/8/8/8/8/8/p6P w - - 0 1",
        "PPPPPPPP/8/8/8/8/8/8/pppppppp b - - 0 1",
        "QQQQQQQQ/Q7/8/8/8/8/8/k6K w - - 0 1",
        "NNNNNNNN/NNNNNNNN/8/8/8/8/nnnnnnnn/nnnnnnnn w - - 0 1",
        "KKKKKKKK/8/8/8/8/8/8/kkkkkkkk w - - 0 1",
    };
    for (const char* fen : fens) {
        SCOPED_TRACE(fen);
        const Board board = pesto_board(fen);
        EXPECT_EQ(evaluate_pawns(board), compute_pawn_score(board));
        (void)evaluate(board);
        testing::internal::CaptureStdout();
        eval_trace(board);
        const std::string text = testing::internal::GetCapturedStdout();
        EXPECT_NE(text.find("Total (side-to-move):"), std::string::npos);
    }
    // Without both kings there is no proximity term and no king danger for the missing side.
    Board board = pesto_board("8/8/8/4P3/8/8/8/8 w - - 0 1");
    EXPECT_EQ(passed_pawn_proximity(board), 0u);
    EXPECT_EQ(king_danger(board, WHITE), 0);
    EXPECT_EQ(king_danger(board, BLACK), 0);
    board = pesto_board("4k3/8/8/4P3/8/8/8/8 w - - 0 1");
    EXPECT_EQ(passed_pawn_proximity(board), 0u);
    // Pawns on their last rank: no stop square, passed with a zero bonus, still isolated.
    board = pesto_board("P3k3/4P3/8/8/8/8/8/4K2p w - - 0 1");
    EXPECT_EQ(compute_pawn_score(board), make_score(173 - 11 - 11 + 11, 182 - 15 - 15 + 15));
}
