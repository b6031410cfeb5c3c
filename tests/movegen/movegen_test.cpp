#include <gtest/gtest.h>

#include "checks.h"
#include "movegen/attacks.h"

namespace {

// Lines "FEN ; depth ; count"; every count from an independent generator.
void expect_perft_counts(const std::string& file, int expected_lines, bool chess960 = false)
{
    std::istringstream lines(read_file(std::string(TEST_DATA_DIR "/") + file));
    int checked = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t a = line.find(" ; "), b = line.rfind(" ; ");
        Board board = board_from_fen(line.substr(0, a), chess960);
        const unsigned long long count
            = perft(board, static_cast<unsigned>(std::stoi(line.substr(a + 3, b - a - 3))));
        EXPECT_EQ(count, std::stoull(line.substr(b + 3))) << line;
        ++checked;
    }
    EXPECT_EQ(checked, expected_lines) << file;
}

TEST(Movegen, PerftSuiteAndOracleCounts)
{
    expect_perft_counts("perft_suite.txt", 6);
    expect_perft_counts("perft_oracle.txt", 300);
    expect_perft_counts("perft960.txt", 402, true);
}

TEST(Movegen, HashMoveWordsPassExactlyWhenGenerated)
{
    int positions = 0;
    walk_random_games(5, 12, 80, [&](Board& board) {
        ASSERT_EQ(check_pseudo_legal(board, positions++ % 7, 7), "") << mirrored_fen(board);
    });
}

// The seeded magic search finds the same tables run after run, build after build.
TEST(Movegen, MagicTablesDigest)
{
    test_engine();
    std::uint64_t digest = 0;
    const auto mix       = [&digest](std::uint64_t value) { digest = digest * 31 + value; };
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        for (const MagicEntry* e : { &bishop_magics[sq], &rook_magics[sq] }) {
            mix(e->magic);
            mix(e->mask);
            for (int i = 0; i < 1 << popcount(e->mask); ++i)
                mix(e->attacks[i]);
        }
    }
    EXPECT_EQ(digest, 0xf3149f128fa5f3cbULL);
}

} // namespace
