// The line reader through the real executable: it reads standard input in 4096-byte blocks,
// so these inputs put line ends and commands across block boundaries.
#include <gtest/gtest.h>

#include "support.h"

namespace {

constexpr std::size_t BLOCK = 4096;

TEST(InputReader, LineEndsAcrossBlockBoundaries)
{
    // Each case pads with a blank line so that its first line end sits just before, on or
    // after a block boundary: a "\r\n" split by the boundary ends one line, not two, and a
    // command split by it stays whole.
    std::string input;
    int expected_replies = 0;
    std::size_t boundary = 0;
    for (const int shift : { -1, 0, -4, -9, 1 }) {
        for (const std::string end : { "\n", "\r\n", "\r" }) {
            boundary += BLOCK;
            input.append(boundary + shift - input.size(), ' ');
            input += end;
            for (int i = 0; i < 2; ++i, ++expected_replies)
                input += "isready" + end;
        }
    }
    std::string expected;
    for (int i = 0; i < expected_replies; ++i)
        expected += "readyok\n";
    EXPECT_EQ(run_engine(input).output, expected);
}

TEST(InputReader, LineLongerThanSeveralBlocks)
{
    testing::internal::CaptureStdout();
    print_board(board_from_fen("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2"));
    const std::string expected = testing::internal::GetCapturedStdout() + "readyok\n";

    const std::string moves = "e2e4" + std::string(3 * BLOCK, ' ') + "e7e5";
    EXPECT_EQ(run_engine("position startpos moves " + moves + "\r\nd\r\nisready").output, expected);
}

TEST(InputReader, NulBytesStayInTheLine)
{
    // A NUL inside a line makes it an unknown command instead of cutting it short.
    EXPECT_EQ(run_engine(std::string("isready\0x\nisready\n", 19)).output, "readyok\n");
}

} // namespace
