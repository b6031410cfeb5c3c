#include <gtest/gtest.h>

#include <fcntl.h>

#include "book/polyglot.h"
#include "checks.h"

namespace {

// Published Polyglot test positions and keys ("FEN ; key"), and the Random64 table whole.
TEST(Book, PublishedKeys)
{
    std::istringstream lines(read_file(TEST_DATA_DIR "/book/polyglot_test_keys.txt"));
    int positions = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t sep = line.find(" ; ");
        EXPECT_EQ(polyglot_key(board_from_fen(line.substr(0, sep))),
            std::stoull(line.substr(sep + 3), nullptr, 16))
            << line;
        ++positions;
    }
    EXPECT_EQ(positions, 9);
    std::uint64_t digest = 0;
    for (const std::uint64_t number : polyglot_random64)
        digest = digest * 31 + number;
    EXPECT_EQ(digest, 0x9d79d68efbdc91b2ULL);
    // The en-passant file counts only with a pawn beside the double-pushed one (on either
    // side, for either colour), never with one that a file wrap-around would put there (a6
    // for h6, h4 for a6, ...).
    const std::pair<std::string_view, bool> cases[]
        = { { "4k3/8/P7/7p/8/8/8/4K3 w - h6 0 1", false },
              { "4k3/8/8/p7/7P/8/8/4K3 w - a6 0 1", false },
              { "4k3/8/8/p7/7P/8/8/4K3 b - h3 0 1", false },
              { "4k3/8/8/8/P7/7p/8/4K3 b - a3 0 1", false },
              { "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", true },
              { "4k3/8/8/8/4Pp2/8/8/4K3 b - e3 0 1", true } };
    for (const auto& [fen, counts] : cases) {
        const std::string plain = std::string(fen.substr(0, fen.size() - 6)) + "- 0 1";
        EXPECT_EQ(polyglot_key(board_from_fen(fen)) != polyglot_key(board_from_fen(plain)), counts)
            << fen;
    }
}

std::string write_book(const std::string& bytes)
{
    char path[]  = "/tmp/vantorel_book_XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    return path;
}

// Weighted choice: weight 0 never wins, weights above 32767 count in full, and the choice
// follows the weights among the first 64 entries of a position.
TEST(Book, ChoiceFollowsTheWeights)
{
    Board board             = board_from_fen(START_FEN);
    const std::uint64_t key = polyglot_key(board);
    std::string bytes       = book_record(key - 1, "a2a3", 9) + book_record(key, "e2e4", 40000)
        + book_record(key, "d2d4", 0) + book_record(key, "g1f3", 20000)
        + book_record(key + 1, "h2h3", 9);
    const std::string path = write_book(bytes);
    Book book {};
    ASSERT_TRUE(load_book(book, path.c_str()));
    seed_book_random(book, 1);
    int e4 = 0, nf3 = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string move = move_to_uci(book_probe(book, board)).str;
        e4 += move == "e2e4";
        nf3 += move == "g1f3";
    }
    EXPECT_EQ(e4 + nf3, 3000);
    EXPECT_NEAR(e4, 2000, 120);
    std::remove(path.c_str());

    // A position whose moves all weigh nothing has no book move.
    const std::string zero = write_book(book_record(key, "e2e4", 0) + book_record(key, "d2d4", 0));
    ASSERT_TRUE(load_book(book, zero.c_str()));
    EXPECT_EQ(book_probe(book, board), NO_MOVE);
    std::remove(zero.c_str());
    free_book(book);
}

// Castling is stored as the king taking its rook, and only the king's move is read so;
// promotions name their piece.
TEST(Book, CastlingAndPromotionMoves)
{
    Board board             = board_from_fen("r3k2r/1P6/8/8/4B3/8/8/R3K2R w KQkq - 0 1");
    const std::uint64_t key = polyglot_key(board);
    Book book {};
    for (const auto& [stored, played] :
        { std::pair { "e1h1", "e1g1" }, { "e1a1", "e1c1" }, { "b7a8n", "b7a8n" },
            { "b7b8r", "b7b8r" }, { "b7a8q", "b7a8q" }, { "e1e2", "e1e2" }, { "e4h7", "e4h7" } }) {
        const std::string path = write_book(book_record(key, stored, 1));
        ASSERT_TRUE(load_book(book, path.c_str()));
        EXPECT_STREQ(move_to_uci(book_probe(book, board)).str, played) << stored;
        std::remove(path.c_str());
    }
    const std::string path = write_book(book_record(key, "e1f3", 1)); // not legal here
    ASSERT_TRUE(load_book(book, path.c_str()));
    EXPECT_EQ(book_probe(book, board), NO_MOVE);
    std::remove(path.c_str());
    free_book(book);
}

// 2^31 records would overflow the entry count: refused by size, before reading or allocating.
TEST(Book, HugeSparseFileIsRefused)
{
    const std::string path = write_book("");
    ASSERT_EQ(truncate(path.c_str(), off_t(16) << 31), 0);
    Book book {};
    EXPECT_FALSE(load_book(book, path.c_str()));
    EXPECT_EQ(book.count, 0);
    EXPECT_EQ(book.entries, nullptr);
    std::remove(path.c_str());
}

} // namespace
