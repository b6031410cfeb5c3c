// polyglot_test.cpp: Polyglot keys, book loading and its failures, and the book move choice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "book/polyglot.h"
#include "movegen/movegen.h"
#include "support.h"

namespace {

struct RawEntry {
    std::uint64_t key;
    std::uint16_t move;
    std::uint16_t weight;
};

// Polyglot move word of a UCI text such as "e2e4" (castling as king takes rook: "e1h1").
std::uint16_t book_move(const char* uci, int promotion = 0)
{
    const int from_file = uci[0] - 'a', from_rank = uci[1] - '1';
    const int to_file = uci[2] - 'a', to_rank = uci[3] - '1';
    return static_cast<std::uint16_t>(
        to_file | to_rank << 3 | from_file << 6 | from_rank << 9 | promotion << 12);
}

std::string temp_path()
{
    char path[]  = "/tmp/vantorel_book_XXXXXX";
    const int fd = mkstemp(path);
    close(fd);
    return path;
}

void write_bytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The entries as a Polyglot file: big-endian, with a learn field the loader must skip.
std::string book_bytes(const std::vector<RawEntry>& entries)
{
    std::string bytes;
    for (const RawEntry& e : entries) {
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<char>(e.key >> shift));
        bytes.push_back(static_cast<char>(e.move >> 8));
        bytes.push_back(static_cast<char>(e.move));
        bytes.push_back(static_cast<char>(e.weight >> 8));
        bytes.push_back(static_cast<char>(e.weight));
        bytes.append("\xA5\x5A\xFF\x01", 4);
    }
    return bytes;
}

// Writes and loads a book; the file is gone afterwards (the book lives in memory).
bool load_entries(const std::vector<RawEntry>& entries)
{
    const std::string path = temp_path();
    write_bytes(path, book_bytes(entries));
    const bool loaded = load_book(path.c_str());
    unlink(path.c_str());
    return loaded;
}

std::string probe_text(Board& board)
{
    const Move m = book_probe(board);
    return m == NO_MOVE ? "none" : move_to_uci(m).str;
}

void expect_no_book()
{
    EXPECT_EQ(book_entries, nullptr);
    EXPECT_EQ(book_count, 0);
    EXPECT_EQ(own_book, 0);
}

const std::uint64_t START_KEY = 0x463B96181691FC9CULL;

} // namespace

TEST(PolyglotKey, PublishedKeysOfTheTestPositions)
{
    std::ifstream in(std::string(TEST_DATA_DIR) + "/book/polyglot_test_keys.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int positions = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t sep = line.find(" ; ");
        ASSERT_NE(sep, std::string::npos) << line;
        const Board board       = board_from_fen(line.substr(0, sep));
        const std::uint64_t key = std::stoull(line.substr(sep + 3), nullptr, 16);
        EXPECT_EQ(polyglot_key(board), key) << line;
        ++positions;
    }
    EXPECT_EQ(positions, 9);
}

TEST(PolyglotKey, TableEndsAndEnPassantOnlyWhenCapturable)
{
    EXPECT_EQ(polyglot_random64[0], 0x9D39247E33776D41ULL);
    EXPECT_EQ(polyglot_random64[3], 0x9C15F73E62A76AE2ULL);
    EXPECT_EQ(polyglot_random64[780], 0xF8D626AAAF278509ULL);

    // A pawn across the board edge is no neighbour: Black on h3 for a3, White on a6 for h6.
    const Board edge    = board_from_fen("4k3/8/8/8/P7/7p/8/4K3 b - a3 0 1");
    const Board no_ep   = board_from_fen("4k3/8/8/8/P7/7p/8/4K3 b - - 0 1");
    const Board edge_w  = board_from_fen("4k3/8/P7/7p/8/8/8/4K3 w - h6 0 1");
    const Board no_ep_w = board_from_fen("4k3/8/P7/7p/8/8/8/4K3 w - - 0 1");
    const Board capture = board_from_fen("4k3/8/8/8/Pp6/8/8/4K3 b - a3 0 1");
    const Board plain   = board_from_fen("4k3/8/8/8/Pp6/8/8/4K3 b - - 0 1");
    ASSERT_EQ(edge.ep_square, 16);
    ASSERT_EQ(edge_w.ep_square, 47);
    EXPECT_EQ(polyglot_key(edge), polyglot_key(no_ep));
    EXPECT_EQ(polyglot_key(edge_w), polyglot_key(no_ep_w));
    EXPECT_EQ(polyglot_key(capture), polyglot_key(plain) ^ polyglot_random64[772]);
}

TEST(PolyglotLoad, BadSizesMissingFilesAndDirectoriesLeaveNoBook)
{
    init_core_tables();
    const std::string path = temp_path();
    for (const std::size_t size : { 15, 0, 24, 17 }) {
        ASSERT_TRUE(load_entries({ { START_KEY, book_move("e2e4"), 1 } }));
        write_bytes(path, std::string(size, '\x01'));
        EXPECT_FALSE(load_book(path.c_str())) << size;
        expect_no_book();
    }
    unlink(path.c_str());

    ASSERT_TRUE(load_entries({ { START_KEY, book_move("e2e4"), 1 } }));
    EXPECT_FALSE(load_book("/nonexistent/vantorel/book.bin"));
    expect_no_book();

    char dir[] = "/tmp/vantorel_bookdir_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    ASSERT_TRUE(load_entries({ { START_KEY, book_move("e2e4"), 1 } }));
    EXPECT_FALSE(load_book(dir));
    expect_no_book();
    EXPECT_FALSE(load_book("/"));
    expect_no_book();
    rmdir(dir);

    // A path is taken as it stands: a trailing space or carriage return names another file.
    const std::string real = temp_path();
    write_bytes(real, book_bytes({ { START_KEY, book_move("e2e4"), 1 } }));
    EXPECT_FALSE(load_book((real + " ").c_str()));
    EXPECT_FALSE(load_book((real + "\r").c_str()));
    EXPECT_TRUE(load_book(real.c_str()));
    unlink(real.c_str());
}

TEST(PolyglotLoad, SizeLimitsKeepTheEntryCountInRange)
{
    EXPECT_FALSE(book_size_is_valid(0));
    EXPECT_FALSE(book_size_is_valid(15));
    EXPECT_TRUE(book_size_is_valid(16));
    EXPECT_FALSE(book_size_is_valid(24));
    EXPECT_TRUE(book_size_is_valid(2ULL << 30)); // 2 GB
    EXPECT_TRUE(book_size_is_valid(16ULL * INT32_MAX)); // largest count
    EXPECT_FALSE(book_size_is_valid(16ULL * INT32_MAX + 16)); // 2^31 entries
    EXPECT_FALSE(book_size_is_valid(16ULL << 32)); // wraps to 0 in 32 bits
    EXPECT_FALSE(book_size_is_valid(UINT64_MAX - 15));
}

TEST(PolyglotLoad, HugeSparseFilesFailWithoutReadingThem)
{
    // 2^31 entries of zeros: refused on its size alone, before any allocation or read.
    const std::string path = temp_path();
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(16ULL << 31)), 0);
    ASSERT_TRUE(load_entries({ { START_KEY, book_move("e2e4"), 1 } }));
    EXPECT_FALSE(load_book(path.c_str()));
    expect_no_book();
    unlink(path.c_str());
}

#if defined(__SANITIZE_ADDRESS__)
#define BOOK_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BOOK_TEST_UNDER_ASAN 1
#endif
#endif

TEST(PolyglotLoad, BookLargerThanAvailableMemoryFailsCleanly)
{
#ifdef BOOK_TEST_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves address space and aborts on failed allocations";
#else
    // A valid 1 GB book of zeros, loaded by a child whose address space allows far less.
    const std::string path = temp_path();
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(1) << 30), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages       = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        if (!statm || std::fscanf(statm, "%ld", &pages) != 1)
            _exit(3);
        std::fclose(statm);
        const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (256 << 20);
        const rlimit cap   = { limit, limit };
        if (setrlimit(RLIMIT_AS, &cap) != 0)
            _exit(4);
        const bool loaded = load_book(path.c_str());
        _exit(!loaded && book_count == 0 && own_book == 0 && book_entries == nullptr ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    unlink(path.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "the loader crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST(PolyglotLoad, RecordsAreBigEndianAndLearnIsSkipped)
{
    ASSERT_TRUE(load_entries(
        { { 0x0102030405060708ULL, 0x1234, 0xFEDC }, { 0x8000000000000001ULL, 0xFFFF, 0x0001 } }));
    ASSERT_EQ(book_count, 2);
    EXPECT_EQ(own_book, 1);
    EXPECT_EQ(book_entries[0].key, 0x0102030405060708ULL);
    EXPECT_EQ(book_entries[0].move, 0x1234);
    EXPECT_EQ(book_entries[0].weight, 0xFEDC);
    EXPECT_EQ(book_entries[1].key, 0x8000000000000001ULL);
    EXPECT_EQ(book_entries[1].move, 0xFFFF);
    EXPECT_EQ(book_entries[1].weight, 1);
}

TEST(PolyglotProbe, OffOrEmptyBookGivesNoMove)
{
    Board board = board_from_fen(START_FEN);
    ASSERT_TRUE(load_entries({ { START_KEY, book_move("e2e4"), 1 } }));
    EXPECT_EQ(probe_text(board), "e2e4");
    own_book = 0;
    EXPECT_EQ(probe_text(board), "none");
    own_book = 1;
    EXPECT_FALSE(load_book("/nonexistent/vantorel/book.bin"));
    own_book = 1; // the option turned on again with no book loaded
    EXPECT_EQ(probe_text(board), "none");
    own_book = 0;
}

TEST(PolyglotProbe, AbsentKeysGiveNoMove)
{
    Board board                                     = board_from_fen(START_FEN);
    const std::uint16_t e4                          = book_move("e2e4");
    const std::vector<std::vector<RawEntry>> misses = {
        { { START_KEY + 1, e4, 1 }, { START_KEY + 2, e4, 1 } }, // below the first
        { { START_KEY - 1, e4, 1 }, { START_KEY + 1, e4, 1 } }, // between two
        { { START_KEY - 2, e4, 1 }, { START_KEY - 1, e4, 1 } }, // above the last
        { { 0, e4, 1 }, { UINT64_MAX, e4, 1 } },
    };
    for (const auto& book : misses) {
        ASSERT_TRUE(load_entries(book));
        EXPECT_EQ(probe_text(board), "none");
    }
    ASSERT_TRUE(load_entries({ { START_KEY - 1, e4, 1 }, { START_KEY, book_move("d2d4"), 1 },
        { START_KEY + 1, e4, 1 } }));
    EXPECT_EQ(probe_text(board), "d2d4");

    // Keys on both sides of 2^63 are compared unsigned.
    ASSERT_TRUE(load_entries({ { 1, e4, 1 }, { START_KEY, book_move("g1f3"), 1 },
        { 0x8000000000000000ULL, e4, 1 }, { UINT64_MAX, e4, 1 } }));
    EXPECT_EQ(probe_text(board), "g1f3");
}

TEST(PolyglotProbe, BisectionFindsTheFirstEntryOfARunAnywhereInTheBook)
{
    Board board = board_from_fen(START_FEN);
    // A run of 9 entries for the position among filler keys, at every offset in the book: only
    // the first of the run has a weight, so a probe that starts inside the run finds nothing.
    for (int before = 0; before <= 40; before += 5) {
        for (const int after : { 0, 3, 20 }) {
            std::vector<RawEntry> book;
            for (int i = before; i > 0; --i)
                book.push_back({ START_KEY - static_cast<std::uint64_t>(i) * 1000, 0, 1 });
            book.push_back({ START_KEY, book_move("c2c4"), 5 });
            for (int i = 0; i < 8; ++i)
                book.push_back({ START_KEY, book_move("e2e4"), 0 });
            for (int i = 1; i <= after; ++i)
                book.push_back({ START_KEY + static_cast<std::uint64_t>(i) * 1000, 0, 1 });
            ASSERT_TRUE(load_entries(book));
            EXPECT_EQ(probe_text(board), "c2c4") << before << " " << after;
        }
    }
}

TEST(PolyglotProbe, WeightZeroNeverWinsAndOnlyTheFirst64EntriesCount)
{
    Board board = board_from_fen(START_FEN);
    ASSERT_TRUE(
        load_entries({ { START_KEY, book_move("e2e4"), 0 }, { START_KEY, book_move("d2d4"), 1 } }));
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
        seed_book_random(seed);
        ASSERT_EQ(probe_text(board), "d2d4") << seed;
    }

    // 63 weightless entries, a 64th of weight 1, then heavy ones past the limit.
    std::vector<RawEntry> book(63, { START_KEY, book_move("e2e4"), 0 });
    book.push_back({ START_KEY, book_move("b1c3"), 1 });
    for (int i = 0; i < 10; ++i)
        book.push_back({ START_KEY, book_move("d2d4"), 65535 });
    ASSERT_TRUE(load_entries(book));
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
        seed_book_random(seed);
        ASSERT_EQ(probe_text(board), "b1c3") << seed;
    }

    // Only weightless entries among the first 64: nothing to choose.
    book[63].weight = 0;
    ASSERT_TRUE(load_entries(book));
    EXPECT_EQ(probe_text(board), "none");
}

TEST(PolyglotProbe, CastlingPromotionsAndIllegalBookMoves)
{
    Board white              = board_from_fen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Board black              = board_from_fen("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    const std::uint64_t wkey = polyglot_key(white), bkey = polyglot_key(black);
    const std::vector<std::pair<const char*, const char*>> castles
        = { { "e1h1", "e1g1" }, { "e1a1", "e1c1" }, { "e8h8", "e8g8" }, { "e8a8", "e8c8" } };
    for (const auto& [book_text, uci] : castles) {
        Board& board = book_text[1] == '1' ? white : black;
        ASSERT_TRUE(load_entries({ { std::min(wkey, bkey), book_move(book_text), 1 },
            { std::max(wkey, bkey), book_move(book_text), 1 } }));
        const Move m = book_probe(board);
        EXPECT_STREQ(move_to_uci(m).str, uci);
        EXPECT_TRUE(is_castling(m)) << uci;
    }

    // A rook on e1 going to h1 is a rook move, not castling.
    Board rook = board_from_fen("4k3/8/8/8/8/8/8/K3R3 w - - 0 1");
    ASSERT_TRUE(load_entries({ { polyglot_key(rook), book_move("e1h1"), 1 } }));
    EXPECT_EQ(probe_text(rook), "e1h1");

    Board promo              = board_from_fen("8/P7/8/8/8/8/k7/4K3 w - - 0 1");
    const std::uint64_t pkey = polyglot_key(promo);
    MoveList legal;
    generate_legal_moves(promo, legal);
    std::string first_promotion = "none";
    for (int i = 0; i < legal.count && first_promotion == "none"; ++i)
        if (move_from(legal.moves[i]) == 48 && move_to(legal.moves[i]) == 56)
            first_promotion = move_to_uci(legal.moves[i]).str;
    const std::vector<std::pair<int, std::string>> promotions = { { 4, "a7a8q" }, { 1, "a7a8n" },
        { 2, "a7a8b" }, { 3, "a7a8r" }, { 0, first_promotion }, { 5, "none" }, { 7, "none" } };
    for (const auto& [piece, uci] : promotions) {
        ASSERT_TRUE(load_entries({ { pkey, book_move("a7a8", piece), 1 } }));
        EXPECT_EQ(probe_text(promo), uci) << piece;
    }
    EXPECT_NE(first_promotion, "none");

    // Illegal or nonsense moves under the right key: the engine searches instead.
    Board start = board_from_fen(START_FEN);
    for (const char* bad : { "e2e5", "e1g1", "a1a1", "e7e5" }) {
        ASSERT_TRUE(load_entries({ { START_KEY, book_move(bad), 1 } }));
        EXPECT_EQ(probe_text(start), "none") << bad;
    }
}

namespace {

// Probes `probes` times and returns how often each entry's move came out.
std::vector<int> choice_counts(Board& board, const std::vector<const char*>& moves, int probes)
{
    std::vector<int> counts(moves.size(), 0);
    for (int i = 0; i < probes; ++i) {
        const std::string text = probe_text(board);
        for (std::size_t j = 0; j < moves.size(); ++j)
            if (text == moves[j])
                ++counts[j];
    }
    return counts;
}

} // namespace

TEST(PolyglotProbe, ChoiceFollowsTheWeightsAlsoAbove32767)
{
    Board board                          = board_from_fen(START_FEN);
    const std::vector<const char*> moves = { "e2e4", "d2d4", "c2c4", "g1f3" };
    const int probes                     = 20000;

    // Small weights 1:2:3:4, and big ones whose total (4 * 60000) is far past rand()'s range:
    // there the last two moves would never be chosen with a 15-bit generator.
    for (const std::uint16_t scale : { 1, 15000 }) {
        std::vector<RawEntry> book;
        for (std::size_t i = 0; i < moves.size(); ++i)
            book.push_back({ START_KEY, book_move(moves[i]),
                static_cast<std::uint16_t>(scale == 1 ? i + 1 : 60000) });
        ASSERT_TRUE(load_entries(book));
        seed_book_random(12345);
        const std::vector<int> counts = choice_counts(board, moves, probes);
        int total_weight              = 0;
        for (const RawEntry& e : book)
            total_weight += e.weight;
        for (std::size_t i = 0; i < moves.size(); ++i) {
            const double expected = probes * static_cast<double>(book[i].weight) / total_weight;
            // Binomial standard deviation is at most ~70 here; allow 5 %-points of slack.
            EXPECT_NEAR(counts[i], expected, 0.05 * probes) << moves[i] << " scale " << scale;
        }
    }

    // 64 entries of weight 65535 (total 4,194,240): the last ones are reachable as often as
    // the first.
    std::vector<RawEntry> book;
    for (int i = 0; i < 64; ++i)
        book.push_back({ START_KEY, book_move(i < 32 ? "e2e4" : "d2d4"), 65535 });
    ASSERT_TRUE(load_entries(book));
    seed_book_random(99);
    const std::vector<int> halves = choice_counts(board, { "e2e4", "d2d4" }, probes);
    EXPECT_NEAR(halves[0], probes / 2, 0.05 * probes);
    EXPECT_NEAR(halves[1], probes / 2, 0.05 * probes);
}

TEST(PolyglotProbe, FixedSeedRepeatsTheSameChoices)
{
    Board board = board_from_fen(START_FEN);
    ASSERT_TRUE(load_entries({ { START_KEY, book_move("e2e4"), 3 },
        { START_KEY, book_move("d2d4"), 3 }, { START_KEY, book_move("c2c4"), 3 } }));
    seed_book_random(7);
    std::string first, second;
    for (int i = 0; i < 50; ++i)
        first += probe_text(board);
    seed_book_random(7);
    for (int i = 0; i < 50; ++i)
        second += probe_text(board);
    EXPECT_EQ(first, second);
}
