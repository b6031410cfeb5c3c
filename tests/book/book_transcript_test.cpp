// book_transcript_test.cpp: the opening book through the engine executable, and a real book
// made by polyglot from engine games (tools/make-book.sh).
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "book/polyglot.h"
#include "movegen/movegen.h"
#include "uci/uci.h"
#include "support.h"

namespace {

const std::string REAL_BOOK = std::string(TEST_DATA_DIR) + "/book/sf-lowskill.bin";

std::uint16_t book_move(const char* uci)
{
    return static_cast<std::uint16_t>(
        (uci[2] - 'a') | (uci[3] - '1') << 3 | (uci[0] - 'a') << 6 | (uci[1] - '1') << 9);
}

void put_entry(std::string& bytes, std::uint64_t key, std::uint16_t move, std::uint16_t weight)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>(key >> shift));
    bytes.push_back(static_cast<char>(move >> 8));
    bytes.push_back(static_cast<char>(move));
    bytes.push_back(static_cast<char>(weight >> 8));
    bytes.push_back(static_cast<char>(weight));
    bytes.append(4, '\0');
}

// A two-position book: 1. e4 from the start, 1... c5 after 1. e4.
std::string write_small_book()
{
    char path[]  = "/tmp/vantorel_uci_book_XXXXXX";
    const int fd = mkstemp(path);
    close(fd);
    std::string bytes;
    put_entry(bytes, 0x463B96181691FC9CULL, book_move("e2e4"), 1);
    put_entry(bytes, 0x823C9B50FD114196ULL, book_move("c7c5"), 1);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    return path;
}

// The engine's answers to each `go`, as groups of lines ending with a bestmove line.
std::vector<std::vector<std::string>> answers(const std::string& output)
{
    std::vector<std::vector<std::string>> groups(1);
    for (const std::string& line : split_lines(output)) {
        groups.back().push_back(line);
        if (line.rfind("bestmove ", 0) == 0)
            groups.emplace_back();
    }
    groups.pop_back(); // the text after the last bestmove
    return groups;
}

int info_lines(const std::vector<std::string>& group)
{
    int count = 0;
    for (const std::string& line : group)
        count += line.rfind("info ", 0) == 0;
    return count;
}

// Every move the loaded book names for the position, as UCI text.
std::set<std::string> book_moves_of(Board& board)
{
    std::set<std::string> moves;
    const std::uint64_t key = polyglot_key(board);
    for (std::int32_t i = 0; i < book_count; ++i) {
        if (book_entries[i].key != key)
            continue;
        const Move m = decode_book_move(board, book_entries[i].move);
        if (m != NO_MOVE)
            moves.insert(move_to_uci(m).str);
    }
    return moves;
}

// Depth-first search for the longest line of book moves from the board.
void longest_book_line(Board& board, std::vector<std::string> line, std::vector<std::string>& best)
{
    if (line.size() > best.size())
        best = line;
    if (line.size() >= 30)
        return;
    for (const std::string& text : book_moves_of(board)) {
        const Move m = uci_to_move(board, text);
        make_move(board, m);
        line.push_back(text);
        longest_book_line(board, line, best);
        line.pop_back();
        unmake_move(board, m);
    }
}

} // namespace

TEST(BookTranscript, BookMovesAnswerAtOnceAndInfiniteSearches)
{
    const std::string book = write_small_book();
    const EngineRun run    = run_engine("setoption name BookFile value " + book
           + "\n"
                "setoption name OwnBook value true\n"
                "position startpos\n"
                "go wtime 1000 btime 1000\n"
                "position startpos moves e2e4\n"
                "go depth 3\n"
                "position startpos moves d2d4\n"
                "go depth 1\n"
                "position startpos\n"
                "go infinite depth 2\n"
                "quit\n");
    unlink(book.c_str());
    EXPECT_EQ(run.exit_status, 0);
    const auto groups = answers(run.output);
    ASSERT_EQ(groups.size(), 4u) << run.output;
    EXPECT_EQ(groups[0], std::vector<std::string> { "bestmove e2e4" });
    EXPECT_EQ(groups[1], std::vector<std::string> { "bestmove c7c5" });
    EXPECT_GE(info_lines(groups[2]), 1) << "out of book: the search runs";
    EXPECT_GE(info_lines(groups[3]), 1) << "infinite skips the book";
}

TEST(BookTranscript, OwnBookSwitchesProbingAndFailedLoadsTurnItOff)
{
    const std::string book = write_small_book();
    const EngineRun run    = run_engine("setoption name OwnBook value true\n"
                                           "setoption name BookFile value "
           + book
           + "\n"
                "position startpos\n"
                "go depth 1\n"
                "setoption name OwnBook value false\n"
                "go depth 1\n"
                "setoption name OwnBook value true\n"
                "go depth 1\n"
                "setoption name BookFile value "
           + book
           + ".missing\n"
                "go depth 1\n"
                "setoption name OwnBook value true\n"
                "go depth 1\n"
                "setoption name BookFile value /tmp\n"
                "go depth 1\n"
                "quit\n");
    unlink(book.c_str());
    const auto groups = answers(run.output);
    ASSERT_EQ(groups.size(), 6u) << run.output;
    EXPECT_EQ(groups[0], std::vector<std::string> { "bestmove e2e4" });
    EXPECT_EQ(info_lines(groups[1]), 1);
    EXPECT_EQ(groups[2], std::vector<std::string> { "bestmove e2e4" });
    // A failed load is silent: one info line for depth 1 and the bestmove, nothing else.
    for (int i = 3; i < 6; ++i) {
        EXPECT_EQ(groups[i].size(), 2u) << run.output;
        EXPECT_EQ(info_lines(groups[i]), 1);
    }
}

TEST(RealBook, EveryReachableEntryIsALegalMove)
{
    init_core_tables();
    ASSERT_TRUE(load_book(REAL_BOOK.c_str()));
    ASSERT_GT(book_count, 200);
    for (std::int32_t i = 1; i < book_count; ++i)
        ASSERT_LE(book_entries[i - 1].key, book_entries[i].key) << "polyglot sorts by key";

    // Walk every book line from the start position (transpositions visited once).
    std::set<std::uint64_t> seen;
    std::vector<Board> stack(1, board_from_fen(START_FEN));
    int entries = 0;
    while (!stack.empty()) {
        Board board = stack.back();
        stack.pop_back();
        const std::uint64_t key = polyglot_key(board);
        if (!seen.insert(key).second)
            continue;
        for (std::int32_t i = 0; i < book_count; ++i) {
            if (book_entries[i].key != key)
                continue;
            ++entries;
            const Move m = decode_book_move(board, book_entries[i].move);
            ASSERT_NE(m, NO_MOVE) << "entry " << i;
            Board next = board;
            make_move(next, m);
            stack.push_back(next);
        }
    }
    // The games all start from the start position, so nearly every entry lies on a book line
    // (a few positions are reached only by transpositions too rare for the book).
    EXPECT_GT(seen.size(), 200u);
    EXPECT_GT(entries, book_count * 9 / 10);
}

TEST(RealBook, EnginePlaysBookMovesThenSearches)
{
    init_core_tables();
    ASSERT_TRUE(load_book(REAL_BOOK.c_str()));

    // The longest line of book moves, and the book's moves for each of its positions.
    Board board = board_from_fen(START_FEN);
    std::vector<std::string> line;
    longest_book_line(board, {}, line);
    ASSERT_GE(line.size(), 6u);
    std::vector<std::set<std::string>> choices;
    for (const std::string& text : line) {
        choices.push_back(book_moves_of(board));
        ASSERT_TRUE(choices.back().count(text)) << text;
        make_move(board, uci_to_move(board, text));
    }
    EXPECT_TRUE(book_moves_of(board).empty()) << "the line leaves the book";

    std::string input = "setoption name BookFile value " + REAL_BOOK + "\n";
    std::string moves;
    for (std::size_t ply = 0; ply <= line.size(); ++ply) {
        input += "position startpos" + (moves.empty() ? "" : " moves" + moves) + "\n";
        input += "go wtime 1000 btime 1000\n";
        if (ply < line.size())
            moves += " " + line[ply];
    }
    const EngineRun run = run_engine(input + "quit\n");
    const auto groups   = answers(run.output);
    ASSERT_EQ(groups.size(), line.size() + 1) << run.output;
    for (std::size_t ply = 0; ply < line.size(); ++ply) {
        ASSERT_EQ(groups[ply].size(), 1u) << "ply " << ply << ": no search output";
        const std::string answer = groups[ply][0].substr(9);
        EXPECT_TRUE(choices[ply].count(answer)) << "ply " << ply << ": " << answer;
    }
    EXPECT_GE(info_lines(groups.back()), 1) << "out of book: the search runs";
}
