#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "movegen/perft.h"
#include "support.h"

namespace {

TEST(Perft, SuitePositionsAtShallowDepth)
{
    // Counts one or two plies below the suite's own depths (checked with another generator).
    const std::uint64_t expected[6] = { 197281, 97862, 674624, 422333, 62379, 95259 };
    const unsigned depth[6]         = { 4, 3, 5, 4, 3, 3 };
    for (int i = 0; i < 6; ++i) {
        Board b = board_from_fen(PERFT_SUITE[i].fen);
        EXPECT_EQ(perft(b, depth[i]), expected[i]) << PERFT_SUITE[i].name;
    }
}

TEST(Perft, DepthZeroAndPositionsWithoutMoves)
{
    Board mate = board_from_fen("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(perft(mate, 0), 1u);
    EXPECT_EQ(perft(mate, 1), 0u);
    EXPECT_EQ(perft(mate, 3), 0u);
    Board stalemate = board_from_fen("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(perft(stalemate, 2), 0u);
}

TEST(Perft, DivideTextAndBoardRestored)
{
    Board b            = board_from_fen(START_FEN);
    const Board before = b;
    testing::internal::CaptureStdout();
    perft_divide(b, 1);
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text.rfind("a2a3: 1\nb2b3: 1\n", 0), 0u);
    EXPECT_NE(text.find("\ng1h3: 1\nTotal: 20\n"), std::string::npos);
    EXPECT_EQ(split_lines(text).size(), 21u);
    EXPECT_EQ(b.hash, before.hash);
    EXPECT_EQ(b.undo_count, 0);
}

// Positions from random play with counts from an independent move generator.
TEST(Perft, AgreesWithOracleCounts)
{
    std::ifstream file(std::string(TEST_DATA_DIR) + "/perft_oracle.txt");
    ASSERT_TRUE(file.good());
    std::string line;
    int checked = 0;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto first             = line.find(" ; ");
        const auto second            = line.find(" ; ", first + 3);
        const std::string fen        = line.substr(0, first);
        const unsigned depth         = std::stoul(line.substr(first + 3, second - first - 3));
        const std::uint64_t expected = std::stoull(line.substr(second + 3));
        Board b                      = board_from_fen(fen);
        ASSERT_EQ(perft(b, depth), expected) << fen;
        ++checked;
    }
    EXPECT_EQ(checked, 300);
}

} // namespace
