#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <thread>

#include "checks.h"
#include "uci/options.h"
#include "search/strength.h"
#include "platform/clock.h"
#include "search/control.h"
#include "search/think.h"
#include "search/threads.h"
#include "search/tt.h"

namespace {

TEST(Search, MovePickerHandsOutEveryMoveOnceInStageOrder)
{
    std::uint64_t rng = 11;
    walk_random_games(3, 30, 100, [&](Board& board) {
        if (HasFailure())
            return; // one fault is enough
        // No hash move, a generated one, the same with other flags, the other side's move (a
        // key collision) and any word at all; all but the second are mostly not generated.
        MoveList ours, theirs;
        generate_moves(board, ours);
        if (!in_check(board, board.side)) {
            make_null_move(board);
            generate_moves(board, theirs);
            unmake_null_move(board);
        }
        const auto any = [&](const MoveList& list) {
            return list.count ? list.moves[xorshift(rng) % list.count] : NO_MOVE;
        };
        const Move generated = any(ours);
        const Move reflagged = generated ^ static_cast<Move>((1 + xorshift(rng) % 15) << 12);
        for (const Move tt_move :
            { NO_MOVE, generated, reflagged, any(theirs), static_cast<Move>(xorshift(rng)) })
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
    TranspositionTable tt {};
    tt_resize(tt, 1);
    constexpr std::uint64_t KEY = 0x123456789ABCDEFULL;
    const auto stored           = [&](int score, int depth, int ply, int probe_ply) {
        tt_store(tt, KEY, score, BOUND_EXACT, depth, 1, ply);
        const TTHit hit = tt_probe(tt, KEY, probe_ply);
        return std::pair { hit.score, hit.depth };
    };
    EXPECT_EQ(stored(0, -1, 0, 0), std::pair(0, 0));
    EXPECT_EQ(stored(0, 300, 0, 0), std::pair(0, 255));
    EXPECT_EQ(stored(SCORE_MATE - 8, 3, 5, 2), std::pair(SCORE_MATE - 5, 3));
    EXPECT_EQ(stored(-(SCORE_MATE - 8), 3, 5, 2), std::pair(-(SCORE_MATE - 5), 3));
    EXPECT_EQ(stored(29999, 3, 40, 7), std::pair(29999, 3));
    EXPECT_EQ(stored(32760, 3, 100, 0).first, 32767);
    EXPECT_EQ(stored(-32760, 3, 100, 0).first, -32767);
    EXPECT_FALSE(tt_probe(tt, KEY ^ (1ULL << 40), 0).found);
    tt_clear(tt);
    EXPECT_FALSE(tt_probe(tt, KEY, 0).found);
    tt_free(tt);
}

// GCC names AddressSanitizer by a macro; clang (and GCC 14) by __has_feature, which GCC 12
// lacks, so it is only evaluated where it exists.
#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ASAN
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ASAN
#endif
#endif

TEST(Search, FailedAllocationLeavesAWorkingEngineWithoutTable)
{
#ifdef UNDER_ASAN
    GTEST_SKIP() << "the sanitizer aborts on impossible allocations instead of returning null";
#else
    Engine& engine = test_engine();
    tt_resize(engine.tt, INT_MAX); // 2^31 MB fits no address space
    tt_store(engine.tt, 1, 5, BOUND_EXACT, 3, 7, 0);
    EXPECT_FALSE(tt_probe(engine.tt, 1, 0).found);
    execute_command(engine, nullptr, "position startpos");
    testing::internal::CaptureStdout();
    execute_command(engine, nullptr, "go depth 3");
    EXPECT_EQ(check_search_reply(engine.board, testing::internal::GetCapturedStdout()), "");
    tt_resize(engine.tt, 64);
#endif
}

// go nodes limits the sum over every thread, read at the main thread's checks: no completed
// depth counts more than the limit and the few thousand nodes the helpers add meanwhile.
TEST(Search, NodeLimitCountsEveryThread)
{
    const std::string input
        = "setoption name Threads value 4\nposition startpos\ngo nodes 200000\n";
    const std::string out = run_engine(input, 1).output;
    EXPECT_EQ(check_search_reply(board_from_fen(START_FEN), out), "");
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" nodes ") != std::string::npos) {
            EXPECT_LE(std::stoull(line.substr(line.find(" nodes ") + 7)), 250000u) << line;
        }
}

// Each helper searches this position's root moves with the main thread and completes
// iterations of them, after a search of another position.
TEST(Search, EveryHelperSharesTheWork)
{
    Engine& engine = test_engine();
    setoption_command(engine, "setoption name Threads value 4");
    position_command("position fen 8/8/1q6/1q5P/3RK3/8/7k/8 b - - 0 1", engine.board);
    SearchLimits first {};
    first.depth = 6;
    think(engine.pool, engine.tt, engine.board, first, search_setup(engine), {});
    position_command("position startpos moves d2d4 g8f6 c2c4", engine.board);
    SearchLimits limits {};
    limits.nodes = 400000;
    think(engine.pool, engine.tt, engine.board, limits, search_setup(engine), {});
    for (int i = 1; i < 4; ++i)
        EXPECT_GT(thread_of(engine.pool, i).nodes.load(), 5000u) << "helper " << i;
    const HelperLine line = deepest_helper_line(engine.pool.control);
    EXPECT_GT(line.depth, 4);
    ASSERT_GT(line.pv_length, 0);
    Board board = engine.board;
    for (int i = 0; i < line.pv_length; ++i) {
        ASSERT_TRUE(is_pseudo_legal(board, line.pv[i]) && move_is_legal(board, line.pv[i])) << i;
        make_move(board, line.pv[i]);
    }
    setoption_command(engine, "setoption name Threads value 1");
}

// The main thread leaves its iteration for a helper's line only when the helper completed that
// depth and its line scores at least the main thread's last one (mated scores included): a
// helper that missed a mate never replaces it.
TEST(Search, HelperLineReplacesOnlyAnEqualOrWorseLine)
{
    static SearchControl control;
    control.clock                 = {};
    control.clock.clock_start     = now_ms();
    control.clock.hard_limit      = UNLIMITED_TIME;
    control.clock.follows_helpers = true;
    const Move pv[]               = { make_move_word(12, 28, 0) };
    const auto leaves             = [&](int depth, int completed_score) {
        control.clock.completed_score = completed_score;
        bool ahead                    = false;
        const bool stop               = main_thread_should_stop(control, depth, ahead);
        EXPECT_EQ(stop, ahead);
        return ahead;
    };
    forget_helper_lines(control);
    report_helper_iteration(control, 6, 9, 50, pv, 1);
    EXPECT_TRUE(leaves(6, 50));
    EXPECT_FALSE(leaves(6, 51));
    EXPECT_FALSE(leaves(7, -100));
    report_helper_iteration(control, 7, 9, -(SCORE_MATE - 8), pv, 1);
    EXPECT_TRUE(leaves(7, -(SCORE_MATE - 6)));
    EXPECT_FALSE(leaves(7, SCORE_MATE - 3));
    report_helper_iteration(control, 5, 9, SCORE_MATE - 1, pv, 1); // shallower: kept out
    EXPECT_EQ(deepest_helper_line(control).score, -(SCORE_MATE - 8));
}

// A main thread that falls behind takes over the helpers' completed lines. Held at its first
// poll until a helper has completed the last depth, it ends on that helper's line, unless its
// own last line scored more (then it may not take it, and searches on by itself).
TEST(Search, SlowMainThreadEndsOnTheHelpersLine)
{
    Engine& engine = test_engine();
    setoption_command(engine, "setoption name Threads value 3");
    position_command(
        "position fen 1Q2b3/5k2/3p1p2/2rPpNp1/p3P1P1/5P1R/K7/8 w - - 4 60", engine.board);
    SearchLimits limits {};
    limits.depth = 10;
    struct Seen {
        SearchControl* control;
        std::vector<int> scores;
    } seen { &engine.pool.control, {} };
    SearchHooks hooks {};
    hooks.context = &seen;
    hooks.poll    = [](void* context) {
        SearchControl& control = *static_cast<Seen*>(context)->control;
        for (int ms = 0; ms < 20000 && deepest_helper_line(control).depth < 10; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return EVENT_NONE;
    };
    hooks.info = [](void* context, const SearchInfo& info) {
        static_cast<Seen*>(context)->scores.push_back(info.score);
    };
    const SearchResult result
        = think(engine.pool, engine.tt, engine.board, limits, search_setup(engine), hooks);
    const HelperLine helper = deepest_helper_line(engine.pool.control);
    ASSERT_EQ(helper.depth, 10);
    const std::size_t lines = seen.scores.size();
    if (lines < 2 || helper.score >= seen.scores[lines - 2]) {
        EXPECT_EQ(result.score, helper.score);
        EXPECT_EQ(result.best_move, helper.pv[0]);
    }
    setoption_command(engine, "setoption name Threads value 1");
}

// A weakened engine keeps to the node budget of its rating closely (the overshoot is what the
// quiescence search adds between checks), wherever the depth limit.
TEST(Search, WeakenedSearchKeepsToItsNodeBudget)
{
    Engine& engine = test_engine();
    setoption_command(engine, "setoption name UCI_LimitStrength value true");
    for (const int elo : { MIN_ELO, 1700, 2000 }) {
        setoption_command(engine, "setoption name UCI_Elo value " + std::to_string(elo));
        new_game(engine);
        position_command("position startpos moves e2e4 e7e5 g1f3", engine.board);
        SearchLimits limits {};
        limits.depth = 40;
        const SearchResult result
            = think(engine.pool, engine.tt, engine.board, limits, search_setup(engine), {});
        EXPECT_LE(result.nodes, strength_node_budget(elo) + 512) << elo;
        EXPECT_GE(result.nodes, strength_node_budget(elo)) << elo;
    }
    setoption_command(engine, "setoption name UCI_LimitStrength value false");
}

// Data lines split at ';', without comments.
std::vector<std::vector<std::string>> data_rows(const char* file)
{
    std::istringstream lines(read_file(std::string(TEST_DATA_DIR "/") + file));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream in(line);
        rows.emplace_back();
        for (std::string field; std::getline(in, field, ';');)
            rows.back().push_back(field);
        rows.back().resize(4);
    }
    return rows;
}

// One engine run, each position searched after ucinewgame with its go line; the replies in
// order (info lines, then the bestmove line last), each checked for legality.
std::vector<std::vector<std::string>> searched(const std::vector<std::vector<std::string>>& rows,
    const std::string& go_prefix, int go_field, std::string input = "")
{
    for (const auto& row : rows)
        input += "ucinewgame\nposition fen " + row[0] + "\n" + go_prefix + row[go_field] + "\n";
    std::istringstream out(run_engine(input, static_cast<int>(rows.size())).output);
    std::vector<std::vector<std::string>> replies(rows.size());
    std::string line, text;
    for (std::size_t i = 0; i < rows.size() && std::getline(out, line);) {
        replies[i].push_back(line);
        text += line + "\n";
        if (line.rfind("bestmove ", 0) == 0) {
            EXPECT_EQ(check_search_reply(board_from_fen(rows[i][0]), text), "") << rows[i][0];
            text.clear();
            ++i;
        }
    }
    return replies;
}

std::string score_of(const std::string& info)
{
    const std::size_t at = info.find(" score ");
    return at == std::string::npos ? "" : info.substr(at + 7, info.find(" nodes") - at - 7);
}

// The score of a search's last line that has one (a long search ends on a line of its own).
std::string last_score(const std::vector<std::string>& reply)
{
    for (auto line = reply.rbegin(); line != reply.rend(); ++line)
        if (!score_of(*line).empty())
            return score_of(*line);
    return "";
}

// Forced mates checked by an independent engine ("FEN;mate N;depth D;first moves"): at depth
// D the last line announces the mate, and a mating side plays one of the moves that keep it
// shortest.
void expect_mates_announced_and_played(const char* threads)
{
    const auto rows = data_rows("mates.txt");
    const auto replies
        = searched(rows, "go ", 2, std::string("setoption name Threads value ") + threads + "\n");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_GE(replies[i].size(), 2u) << rows[i][0];
        EXPECT_EQ(last_score(replies[i]), rows[i][1]) << rows[i][0];
        std::istringstream shortest(rows[i][3]);
        bool kept = rows[i][1][5] == '-';
        for (std::string move; shortest >> move;)
            kept = kept || "bestmove " + move == replies[i].back();
        EXPECT_TRUE(kept) << rows[i][0] << " " << replies[i].back();
    }
    EXPECT_GE(rows.size(), 60u);
}

TEST(Mates, AnnouncedAndPlayed) { expect_mates_announced_and_played("1"); }

// Known shortest mates ("FEN;N", N < 0 when the side to move is mated): no line may announce
// a shorter mate, or one of the other sign; the search cannot prove what does not exist.
TEST(Mates, NeverShorterThanTheShortest)
{
    auto rows = data_rows("mate_distances.txt");
    for (auto& row : rows)
        row[2] = "5000";
    // A small table: clearing it for each position costs less.
    for (const char* threads : { "1", "4" }) {
        const auto replies = searched(rows, "go nodes ", 2,
            std::string("setoption name Hash value 1\nsetoption name Threads value ") + threads
                + "\n");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int shortest = std::stoi(rows[i][1]);
            for (const std::string& line : replies[i]) {
                const std::string score = score_of(line);
                if (score.rfind("mate ", 0) != 0)
                    continue;
                const int mate = std::stoi(score.substr(5));
                EXPECT_TRUE(mate * shortest > 0 && std::abs(mate) >= std::abs(shortest))
                    << rows[i][0] << " is a mate in " << shortest << ": " << line << " on "
                    << threads;
            }
        }
    }
    EXPECT_GE(rows.size(), 300u);
}

} // namespace
