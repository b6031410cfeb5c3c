#include <gtest/gtest.h>

#include <climits>

#include "checks.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

TEST(Search, MovePickerHandsOutEveryMoveOnceInStageOrder)
{
    std::uint64_t rng = 11;
    walk_random_games(3, 30, 100, [&](Board& board) {
        // No hash move, a generated one, and any word at all.
        MoveList list;
        generate_moves(board, list);
        const Move generated = list.count ? list.moves[xorshift(rng) % list.count] : NO_MOVE;
        for (const Move tt_move : { NO_MOVE, generated, static_cast<Move>(xorshift(rng)) })
            ASSERT_EQ(check_move_picker(board, tt_move), "") << mirrored_fen(board);
    });
}

TEST(Search, ExchangeValuesAgreeWithMinimax)
{
    walk_random_games(
        8, 30, 100, [](Board& board) { ASSERT_EQ(check_see(board), "") << mirrored_fen(board); });
}

// Depths and scores outside the entry's fields are clamped, never wrapped; mate scores are
// kept as distances from the storing node.
TEST(Search, TableEntryLimits)
{
    init_engine_once();
    constexpr std::uint64_t KEY = 0x123456789ABCDEFULL;
    const auto stored           = [&](int score, int depth, int ply, int probe_ply) {
        tt_store(KEY, score, BOUND_EXACT, depth, 1, ply);
        const TTHit hit = tt_probe(KEY, probe_ply);
        return std::pair { hit.score, hit.depth };
    };
    EXPECT_EQ(stored(0, -1, 0, 0), std::pair(0, 0));
    EXPECT_EQ(stored(0, 300, 0, 0), std::pair(0, 255));
    EXPECT_EQ(stored(SCORE_MATE - 8, 3, 5, 2), std::pair(SCORE_MATE - 5, 3));
    EXPECT_EQ(stored(-(SCORE_MATE - 8), 3, 5, 2), std::pair(-(SCORE_MATE - 5), 3));
    EXPECT_EQ(stored(29999, 3, 40, 7), std::pair(29999, 3));
    EXPECT_EQ(stored(32760, 3, 100, 0).first, 32767);
    EXPECT_EQ(stored(-32760, 3, 100, 0).first, -32767);
    EXPECT_FALSE(tt_probe(KEY ^ (1ULL << 40), 0).found);
    tt_clear();
    EXPECT_FALSE(tt_probe(KEY, 0).found);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__has_feature)
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
#define UNDER_ASAN
#endif
#endif

TEST(Search, FailedAllocationLeavesAWorkingEngineWithoutTable)
{
#ifdef UNDER_ASAN
    GTEST_SKIP() << "the sanitizer aborts on impossible allocations instead of returning null";
#else
    init_engine_once();
    tt_resize(INT_MAX); // 2^31 MB fits no address space
    tt_store(1, 5, BOUND_EXACT, 3, 7, 0);
    EXPECT_FALSE(tt_probe(1, 0).found);
    Board board = board_from_fen(START_FEN);
    SearchLimits limits {};
    limits.depth = 3;
    testing::internal::CaptureStdout();
    const Move best = think(board, limits).best_move;
    EXPECT_EQ(
        check_search_reply(board,
            testing::internal::GetCapturedStdout() + "bestmove " + move_to_uci(best).str + "\n"),
        "");
    tt_resize(64);
#endif
}

// Forced mates checked by an independent engine ("FEN;mate N;depth D;first moves"): at depth
// D the last line announces the mate, a mating side plays one of the moves that keep it
// shortest, and every line is legal.
TEST(Mates, AnnouncedAndPlayed)
{
    std::istringstream lines(read_file(TEST_DATA_DIR "/mates.txt"));
    std::vector<std::vector<std::string>> cases;
    std::string input;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, ';');)
            fields.push_back(field);
        fields.resize(4);
        input += "ucinewgame\nposition fen " + fields[0] + "\ngo " + fields[2] + "\n";
        cases.push_back(fields);
    }
    const EngineRun run = run_engine(input, static_cast<int>(cases.size()));
    std::istringstream out(run.output);
    std::string line, last_info;
    for (const auto& fields : cases) {
        std::string reply;
        while (std::getline(out, line) && line.rfind("bestmove ", 0) != 0) {
            last_info = line;
            reply += line + "\n";
        }
        EXPECT_EQ(check_search_reply(board_from_fen(fields[0]), reply + line + "\n"), "");
        const std::string score = last_info.substr(last_info.find(" score ") + 7);
        EXPECT_EQ(score.substr(0, score.find(" nodes")), fields[1]) << fields[0];
        std::istringstream shortest(fields[3]);
        bool kept = fields[1][5] == '-';
        for (std::string move; shortest >> move;)
            kept = kept || "bestmove " + move == line;
        EXPECT_TRUE(kept) << fields[0] << " " << line;
    }
    EXPECT_GE(cases.size(), 60u);
}

} // namespace
