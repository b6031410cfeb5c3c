#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "movegen/movegen.h"
#include "support.h"

namespace {

std::vector<std::string> texts(const MoveList& list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.count; ++i)
        out.push_back(move_to_uci(list.moves[i]).str);
    return out;
}

TEST(MoveGen, StartPositionOrder)
{
    Board b = board_from_fen(START_FEN);
    MoveList list;
    generate_moves(b, list);
    const std::vector<std::string> expected
        = { "a2a3", "b2b3", "c2c3", "d2d3", "e2e3", "f2f3", "g2g3", "h2h3", "a2a4", "b2b4", "c2c4",
              "d2d4", "e2e4", "f2f4", "g2g4", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3" };
    EXPECT_EQ(texts(list), expected);
    MoveList legal;
    generate_legal_moves(b, legal);
    EXPECT_EQ(legal.count, 20);
}

TEST(MoveGen, PromotionsComeQueenFirst)
{
    Board b = board_from_fen("1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    MoveList list;
    generate_moves(b, list);
    const std::vector<std::string> all = texts(list);
    const std::vector<std::string> first(all.begin(), all.begin() + 8);
    const std::vector<std::string> expected
        = { "a7a8q", "a7a8r", "a7a8b", "a7a8n", "a7b8q", "a7b8r", "a7b8b", "a7b8n" };
    EXPECT_EQ(first, expected);
}

TEST(MoveGen, TwoEnPassantCapturesLowerFirst)
{
    Board b = board_from_fen("4k3/8/8/3PpP2/8/8/8/4K3 w - e6 0 1");
    MoveList list;
    generate_captures(b, list);
    EXPECT_EQ(texts(list), (std::vector<std::string> { "d5e6", "f5e6" }));
}

TEST(MoveGen, CastlingThroughAttackedSquares)
{
    auto castles = [](const char* fen) {
        Board b = board_from_fen(fen);
        MoveList list;
        generate_moves(b, list);
        std::vector<std::string> out;
        for (const auto& t : texts(list))
            if (t == "e1g1" || t == "e1c1")
                out.push_back(t);
        return out;
    };
    EXPECT_EQ(
        castles("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"), (std::vector<std::string> { "e1g1", "e1c1" }));
    EXPECT_EQ(castles("4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1"), (std::vector<std::string> { "e1c1" }));
    EXPECT_EQ(castles("4k3/8/8/8/8/8/1r6/R3K2R w KQ - 0 1"),
        (std::vector<std::string> { "e1g1", "e1c1" }));
    EXPECT_TRUE(castles("4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1").empty());
}

TEST(MoveGen, CaptureListHasPushPromotionsButNoQuietMoves)
{
    Board b = board_from_fen("4k3/P7/8/8/8/8/4P3/R3K2R w KQ - 0 1");
    MoveList list;
    generate_captures(b, list);
    EXPECT_EQ(texts(list), (std::vector<std::string> { "a7a8q", "a7a8r", "a7a8b", "a7a8n" }));
}

TEST(MoveGen, PawnTargetLimitsOnlyOrdinaryPushes)
{
    Board b = board_from_fen("1r2k3/P7/8/3pP3/2p5/1P6/8/4K3 w - d6 0 1");
    MoveList list {};
    generate_pawn_moves(b, list, 0, false);
    EXPECT_EQ(texts(list),
        (std::vector<std::string> { "a7a8q", "a7a8r", "a7a8b", "a7a8n", "a7b8q", "a7b8r", "a7b8b",
            "a7b8n", "b3c4", "e5d6" }));
}

TEST(MoveGen, IllegalMovesAreGeneratedButRejected)
{
    auto generated_and_legal = [](const char* fen, const std::string& move) {
        Board b = board_from_fen(fen);
        MoveList pseudo, legal;
        generate_moves(b, pseudo);
        generate_legal_moves(b, legal);
        const auto p = texts(pseudo), l = texts(legal);
        return std::make_pair(std::find(p.begin(), p.end(), move) != p.end(),
            std::find(l.begin(), l.end(), move) != l.end());
    };
    // A pinned knight leaving the line, and an en-passant capture opening the rank.
    EXPECT_EQ(generated_and_legal("4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1", "e2c3"),
        std::make_pair(true, false));
    EXPECT_EQ(generated_and_legal("6k1/8/8/K2pP2r/8/8/8/8 w - d6 0 1", "e5d6"),
        std::make_pair(true, false));
    EXPECT_EQ(
        generated_and_legal("8/8/8/8/8/8/8/K1k5 w - - 0 1", "a1b1"), std::make_pair(true, false));
}

TEST(MoveGen, NoKingMeansNoLegalMoves)
{
    Board b = board_from_fen("8/8/8/8/8/8/8/R7 w - - 0 1");
    MoveList legal;
    generate_legal_moves(b, legal);
    EXPECT_EQ(legal.count, 0);
}

TEST(MoveGen, CrowdedBoardsStayWithinTheBuffer)
{
    Board b = board_from_fen("QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/K6k w - - 0 1");
    MoveList list;
    generate_moves(b, list);
    EXPECT_LE(list.count, MAX_MOVES);
    b = board_from_fen(
        "Q1Q1Q1Q1/1Q1Q1Q1Q/Q1Q1Q1Q1/1Q1Q1Q1Q/Q1Q1Q1Q1/1Q1Q1Q1Q/Q1Q1Q1Q1/1K1Q1Q1k w - - 0 1");
    generate_moves(b, list);
    EXPECT_LE(list.count, MAX_MOVES);
}

TEST(MoveGen, NoDuplicatesInRandomPlay)
{
    Board b
        = board_from_fen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    for (int ply = 0; ply < 60; ++ply) {
        MoveList list;
        generate_moves(b, list);
        std::set<Move> unique(list.moves, list.moves + list.count);
        ASSERT_EQ(static_cast<int>(unique.size()), list.count);
        MoveList legal;
        generate_legal_moves(b, legal);
        if (legal.count == 0)
            break;
        make_move(b, legal.moves[(ply * 7) % legal.count]);
    }
}

} // namespace

namespace {

// The legality test must answer exactly what making the move and looking at the king does.
bool legal_by_making(Board board, Move move)
{
    make_move(board, move);
    return in_check(board, board.side ^ 1) == false
        && board.pieces[make_piece(board.side ^ 1, KING)] != 0;
}

TEST(MoveGen, LegalityTestAgreesWithMakingTheMove)
{
    const char* starts[] = {
        START_FEN,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "KQ6/8/8/8/8/8/8/6qk b - - 0 1", // the side not to move is in check
        "k7/8/8/8/8/8/8/RNBQ1BNR w - - 0 1", // no white king
        "k6K/8/8/8/8/8/8/K7 b - - 0 1", // two white kings
        "4k3/8/8/2pP4/8/8/8/4K3 w - c6 0 1",
    };
    int checked = 0;
    for (const char* fen : starts) {
        Board b = board_from_fen(fen);
        for (int ply = 0; ply < 120; ++ply) {
            MoveList pseudo;
            generate_moves(b, pseudo);
            for (int i = 0; i < pseudo.count; ++i, ++checked)
                ASSERT_EQ(move_is_legal(b, pseudo.moves[i]), legal_by_making(b, pseudo.moves[i]))
                    << fen << " " << move_to_uci(pseudo.moves[i]).str;
            MoveList legal;
            generate_legal_moves(b, legal);
            if (legal.count == 0)
                break;
            make_move(b, legal.moves[(ply * 13 + 5) % legal.count]);
        }
    }
    EXPECT_GT(checked, 10000);
}

} // namespace

namespace {

// Any 16-bit word is pseudo-legal exactly when the generator produces it.
TEST(MoveGen, PseudoLegalityMatchesTheGenerator)
{
    std::mt19937 rng(4242);
    const char* starts[] = {
        START_FEN,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "4k3/8/8/2pP4/8/8/8/4K3 w - c6 0 1",
        "1r2k3/P7/1R2K3/8/8/8/8/8 w - - 0 1",
        "PPPPPPPP/8/8/8/8/8/8/pppppppp b - - 0 1",
    };
    for (const char* fen : starts) {
        Board b = board_from_fen(fen);
        for (int ply = 0; ply < 40; ++ply) {
            MoveList list;
            generate_moves(b, list);
            const std::set<Move> generated(list.moves, list.moves + list.count);
            for (Move m : generated)
                ASSERT_TRUE(is_pseudo_legal(b, m)) << fen << " " << move_to_uci(m).str;
            for (int i = 0; i < 3000; ++i) {
                // Random words, and words built from a real from-square to hit the piece rules.
                Move m = static_cast<Move>(rng());
                if (i % 2 && list.count)
                    m = static_cast<Move>((m & ~63u) | move_from(list.moves[i % list.count]));
                ASSERT_EQ(is_pseudo_legal(b, m), generated.count(m) == 1)
                    << fen << " " << m << " " << move_to_uci(m).str;
            }
            MoveList legal;
            generate_legal_moves(b, legal);
            if (legal.count == 0)
                break;
            make_move(b, legal.moves[(ply * 11 + 3) % legal.count]);
        }
    }
}

} // namespace
