#include <gtest/gtest.h>

#include <algorithm>

#include "checks.h"
#include "search/tt.h"

namespace {

// The fill counts the entries the running search stored: it grows with them, and a clear or a
// new search starts it from nothing.
TEST(SearchGui, HashfullCountsThisSearchsEntries)
{
    TranspositionTable tt {};
    tt_resize(tt, 1);
    tt_new_search(tt);
    std::uint64_t key = 0x9E3779B97F4A7C15ULL;
    int last          = tt_hashfull(tt);
    EXPECT_EQ(last, 0);
    for (int round = 0; round < 8; ++round) {
        for (int i = 0; i < 20000; ++i)
            tt_store(tt, xorshift(key), 1, BOUND_EXACT, 3, 1, 0);
        EXPECT_GE(tt_hashfull(tt), last);
        last = tt_hashfull(tt);
    }
    EXPECT_GT(last, 900);
    tt_new_search(tt);
    EXPECT_EQ(tt_hashfull(tt), 0);
    tt_store(tt, xorshift(key), 1, BOUND_EXACT, 3, 1, 0);
    tt_clear(tt);
    EXPECT_EQ(tt_hashfull(tt), 0);
    tt_free(tt);
}

// A search of a few seconds tells, from its third second on and a few times a second, the root
// move it starts on (legal and in order, as the reply check holds; three lines start many),
// and from its first second the table's fill after each iteration, never falling, and once
// more just before bestmove.
TEST(SearchGui, LongSearchTellsRootMovesAndTableFill)
{
    const EngineRun run = run_engine("setoption name Hash value 1\nsetoption name MultiPV value 3\n"
                                     "position startpos\ngo movetime 4200\n",
        1);
    ASSERT_EQ(check_search_reply(board_from_fen(START_FEN), run.output), "");
    std::istringstream lines(run.output);
    std::vector<std::string> text;
    for (std::string line; std::getline(lines, line);)
        text.push_back(line);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text[text.size() - 2].rfind("info hashfull ", 0), 0u) << text[text.size() - 2];
    const double go = run.step_ms[0];
    int currmoves = 0, last_fill = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i].find(" currmove ") != std::string::npos) {
            EXPECT_GE(run.line_ms[i] - go, 3000) << text[i];
            ++currmoves;
        } else if (text[i].rfind("info hashfull ", 0) == 0) {
            EXPECT_GE(run.line_ms[i] - go, 1000) << text[i];
            EXPECT_GE(std::stoi(text[i].substr(14)), last_fill) << text[i];
            last_fill = std::stoi(text[i].substr(14));
        }
    }
    EXPECT_GT(last_fill, 0);
    EXPECT_GE(currmoves, 1);
    EXPECT_LE(currmoves, 1 + (run.line_ms.back() - go - 3000) / 250);
}

// A search that ends on an iteration completed after its first second (on this machine; a
// faster one may finish before) tells the fill after that iteration, and not once more before
// bestmove (the reply check refuses a repeated fill).
TEST(SearchGui, FillToldOnceAfterTheLastIteration)
{
    const std::string out
        = run_engine("setoption name Hash value 1\nposition startpos\ngo depth 23\n", 1).output;
    ASSERT_EQ(check_search_reply(board_from_fen(START_FEN), out), "");
    std::vector<std::string> text;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        text.push_back(line);
    const auto last = std::find_if(text.rbegin(), text.rend(),
        [](const std::string& l) { return l.rfind("info depth 23 ", 0) == 0; });
    ASSERT_NE(last, text.rend()) << out;
    const bool late = std::stoi(last->substr(last->find(" time ") + 6)) >= 1000;
    EXPECT_EQ((last - 1)->rfind("info hashfull ", 0) == 0, late) << out;
}

} // namespace
