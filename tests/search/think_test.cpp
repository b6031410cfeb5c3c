// The search driver: time budgets, aspiration windows, the info and bestmove lines, exact
// node counts of fixed-depth searches, mates, draws and the ways a search ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "eval/psq.h"
#include "movegen/movegen.h"
#include "search/move_picker.h"
#include "search/search.h"
#include "search/think.h"
#include "search/tt.h"
#include "support.h"
#include "uci/uci.h"

namespace {

const char* const BENCH_POSITIONS[5] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
};

// The engine's start-up state: PeSTO tables, the LMR table and a 64 MB table, all cleared.
void fresh_engine()
{
    init_core_tables();
    eval_style = STYLE_PESTO;
    init_eval_tables();
    init_lmr_table();
    if (tt_table == nullptr || tt_count != (std::uint64_t(1) << 22))
        tt_resize(64);
    tt_clear();
    tt_generation = 0;
    clear_move_ordering();
}

SearchLimits depth_limit(int depth)
{
    SearchLimits limits {};
    limits.depth = depth;
    return limits;
}

std::string think_output(Board& board, const SearchLimits& limits)
{
    testing::internal::CaptureStdout();
    think(board, limits);
    return testing::internal::GetCapturedStdout();
}

// Plays a space-separated list of UCI moves; each must be legal.
void play(Board& board, const std::string& moves)
{
    std::istringstream in(moves);
    std::string text;
    while (in >> text) {
        const Move move = uci_to_move(board, text);
        ASSERT_NE(move, NO_MOVE) << text;
        make_move(board, move);
    }
}

struct InfoLine {
    int depth    = 0;
    int seldepth = 0;
    std::string score; // "cp 20", "mate -1"
    std::uint64_t nodes = 0;
    std::vector<std::string> pv;
};

struct SearchOutput {
    std::vector<InfoLine> infos;
    std::string bestmove;
    int other_lines = 0;
};

// Splits the output into info lines (checking their fixed word order) and the bestmove line.
SearchOutput parse_output(const std::string& text)
{
    SearchOutput out;
    for (const std::string& line : split_lines(text)) {
        std::istringstream in(line);
        std::string word, kind, nps, time;
        in >> word;
        if (word == "bestmove") {
            in >> out.bestmove;
            continue;
        }
        if (word != "info") {
            ++out.other_lines;
            continue;
        }
        InfoLine info;
        std::string w[8];
        int value = 0;
        in >> w[0] >> info.depth >> w[1] >> info.seldepth >> w[2] >> kind >> value >> w[3]
            >> info.nodes >> w[4] >> nps >> w[5] >> time >> w[6];
        EXPECT_EQ(
            w[0] + w[1] + w[2] + w[3] + w[4] + w[5] + w[6], "depthseldepthscorenodesnpstimepv")
            << line;
        info.score = kind + " " + std::to_string(value);
        std::string move;
        while (in >> move)
            info.pv.push_back(move);
        out.infos.push_back(info);
    }
    return out;
}

TEST(TimeBudget, WorkedValues)
{
    SearchLimits limits {};
    limits.wtime      = 1000;
    TimeBudget budget = compute_time_budget(limits, WHITE);
    EXPECT_EQ(budget.soft_limit, 15);
    EXPECT_EQ(budget.hard_limit, 45);

    // Only the mover's clock counts: Black's time with White to move is a bare go.
    SearchLimits black_only {};
    black_only.btime = 60000;
    for (const SearchLimits& bare : { SearchLimits {}, black_only }) {
        budget = compute_time_budget(bare, WHITE);
        EXPECT_EQ(budget.soft_limit, 5);
        EXPECT_EQ(budget.hard_limit, 10);
    }

    limits          = {};
    limits.movetime = 1000;
    budget          = compute_time_budget(limits, BLACK);
    EXPECT_EQ(budget.soft_limit, 990);
    EXPECT_EQ(budget.hard_limit, 990);
    limits.movetime = 5; // too little for anything but depth 1
    budget          = compute_time_budget(limits, WHITE);
    EXPECT_EQ(budget.soft_limit, -5);
    EXPECT_EQ(budget.hard_limit, -5);

    // One move to the control: base = t, hard = 2t/5, soft = hard.
    limits           = {};
    limits.btime     = 10100;
    limits.movestogo = 1;
    budget           = compute_time_budget(limits, BLACK);
    EXPECT_EQ(budget.soft_limit, 4000);
    EXPECT_EQ(budget.hard_limit, 4000);

    // 60 s + 1 s: t = 59900, 25 moves to go: base = 2396 + 750.
    limits       = {};
    limits.wtime = 60000;
    limits.winc  = 1000;
    budget       = compute_time_budget(limits, WHITE);
    EXPECT_EQ(budget.soft_limit, 3146);
    EXPECT_EQ(budget.hard_limit, 9438);

    // The move-count guesses by remaining time: 4000 ms -> 40 moves, 10000 ms -> 30.
    limits       = {};
    limits.btime = 4100;
    EXPECT_EQ(compute_time_budget(limits, BLACK).soft_limit, 100);
    limits.btime = 10100;
    EXPECT_EQ(compute_time_budget(limits, BLACK).soft_limit, 333);

    // A huge increment wraps in 32 bits (3 * 2e9 becomes 1705032704) instead of overflowing.
    limits       = {};
    limits.wtime = 1000;
    limits.winc  = 2000000000;
    budget       = compute_time_budget(limits, WHITE);
    EXPECT_EQ(budget.soft_limit, 360);
    EXPECT_EQ(budget.hard_limit, 360);
    limits.winc = -400; // a negative increment only shortens the budget
    budget      = compute_time_budget(limits, WHITE);
    EXPECT_EQ(budget.soft_limit, 5);
    EXPECT_EQ(budget.hard_limit, 10);
}

TEST(TimeBudget, UnlimitedWithDepthNodesOrInfinite)
{
    SearchLimits limits {};
    limits.wtime = 1000;
    for (int which = 0; which < 3; ++which) {
        SearchLimits l = limits;
        if (which == 0)
            l.depth = 5;
        if (which == 1)
            l.nodes = 1000;
        if (which == 2)
            l.infinite = true;
        const TimeBudget budget = compute_time_budget(l, WHITE);
        EXPECT_EQ(budget.soft_limit, UNLIMITED_TIME);
        EXPECT_EQ(budget.hard_limit, UNLIMITED_TIME);
    }
    EXPECT_EQ(UNLIMITED_TIME, 4611686018427387903LL);
}

TEST(Aspiration, WindowWidensOnlyTheFailingSide)
{
    AspirationWindow window = initial_aspiration_window(50);
    EXPECT_EQ(window.alpha, 25);
    EXPECT_EQ(window.beta, 75);
    EXPECT_FALSE(widen_aspiration_window(window, 60));
    EXPECT_EQ(window.beta, 75);

    const int expected_beta[] = { 100, 150, 250, 450, 850, 1650, 3250, 6450, 12850, 25650 };
    for (const int beta : expected_beta) {
        EXPECT_TRUE(widen_aspiration_window(window, window.beta));
        EXPECT_EQ(window.beta, beta);
        EXPECT_EQ(window.alpha, 25);
    }
    EXPECT_TRUE(widen_aspiration_window(window, window.beta)); // 51250 > 31900
    EXPECT_EQ(window.beta, SCORE_INFINITE);

    window = initial_aspiration_window(-31880);
    EXPECT_TRUE(widen_aspiration_window(window, -31905));
    EXPECT_EQ(window.alpha, -SCORE_INFINITE);
    EXPECT_EQ(window.beta, -31855);
    EXPECT_EQ(window.delta, 50);
}

TEST(InfoLine, ScoreText)
{
    EXPECT_STREQ(score_to_uci(SCORE_MATE - 1).str, "mate 1");
    EXPECT_STREQ(score_to_uci(SCORE_MATE - 2).str, "mate 1");
    EXPECT_STREQ(score_to_uci(SCORE_MATE - 3).str, "mate 2");
    EXPECT_STREQ(score_to_uci(-(SCORE_MATE - 2)).str, "mate -1");
    EXPECT_STREQ(score_to_uci(-(SCORE_MATE - 4)).str, "mate -2");
    EXPECT_STREQ(score_to_uci(-SCORE_MATE).str, "mate 0");
    EXPECT_STREQ(score_to_uci(SCORE_MATE_BOUND).str, "mate 500");
    EXPECT_STREQ(score_to_uci(SCORE_MATE_BOUND - 1).str, "cp 29999");
    EXPECT_STREQ(score_to_uci(-29999).str, "cp -29999");
    EXPECT_STREQ(score_to_uci(0).str, "cp 0");
}

// A fresh engine on the start position reproduces the recorded search exactly.
TEST(Think, StartPositionDepthSevenIsExact)
{
    fresh_engine();
    Board board            = board_from_fen(START_FEN);
    const SearchOutput out = parse_output(think_output(board, depth_limit(7)));

    struct Expected {
        int seldepth;
        const char* score;
        std::uint64_t nodes;
        const char* pv;
    };
    const Expected expected[7] = {
        { 1, "cp 113", 49, "d2d4" },
        { 4, "cp 20", 198, "d2d4 d7d5" },
        { 4, "cp 64", 355, "d2d4 d7d5 g1f3" },
        { 5, "cp 20", 781, "d2d4 d7d5 g1f3 g8f6" },
        { 7, "cp 52", 1336, "d2d4 d7d5 g1f3 g8f6 b1c3" },
        { 9, "cp 20", 2933, "d2d4 d7d5 b1c3 g8f6 g1f3 b8c6" },
        { 10, "cp 39", 4469, "d2d4 d7d5 b1c3 g8f6 g1f3 b8c6 e2e3" },
    };
    ASSERT_EQ(out.infos.size(), 7u);
    for (int d = 0; d < 7; ++d) {
        const InfoLine& info = out.infos[d];
        std::string pv;
        for (const std::string& move : info.pv)
            pv += (pv.empty() ? "" : " ") + move;
        EXPECT_EQ(info.depth, d + 1);
        EXPECT_EQ(info.seldepth, expected[d].seldepth) << "depth " << d + 1;
        EXPECT_EQ(info.score, expected[d].score) << "depth " << d + 1;
        EXPECT_EQ(info.nodes, expected[d].nodes) << "depth " << d + 1;
        EXPECT_EQ(pv, expected[d].pv) << "depth " << d + 1;
    }
    EXPECT_EQ(out.bestmove, "d2d4");
    EXPECT_EQ(out.other_lines, 0);
    EXPECT_EQ(node_count, 4469u);
    EXPECT_EQ(board.hash, board_from_fen(START_FEN).hash);
    EXPECT_EQ(board.undo_count, 0);
}

// The bench signature: per position the tables are cleared, exactly as the bench command does.
void expect_bench(int depth, const std::uint64_t (&nodes)[5], const char* const (&moves)[5])
{
    std::uint64_t total          = 0;
    std::uint64_t expected_total = 0;
    for (int i = 0; i < 5; ++i) {
        fresh_engine();
        auto board             = std::make_unique<Board>(board_from_fen(BENCH_POSITIONS[i]));
        const SearchOutput out = parse_output(think_output(*board, depth_limit(depth)));
        EXPECT_EQ(node_count, nodes[i]) << "position " << i + 1 << " depth " << depth;
        if (moves[i] != nullptr) {
            EXPECT_EQ(out.bestmove, moves[i]) << "position " << i + 1;
        }
        ASSERT_FALSE(out.infos.empty());
        EXPECT_EQ(out.infos.back().depth, depth);
        EXPECT_EQ(out.infos.back().nodes, node_count);
        total += node_count;
        expected_total += nodes[i];
    }
    EXPECT_EQ(total, expected_total);
}

TEST(Think, BenchDepthThreeNodeCounts)
{
    expect_bench(3, { 355, 1069, 485, 752, 426 }, { "d2d4", "d5e6", "b4f4", "c4c5", "d7c8q" });
}

TEST(Think, BenchDepthSixNodeCounts)
{
    expect_bench(6, { 2933, 5205, 3284, 4854, 2710 }, { "d2d4", nullptr, "b4f4", "c4c5", "d7c8q" });
}

TEST(Think, DepthOnePrintsOneInfoLineAndDepthSixSix)
{
    fresh_engine();
    Board board      = board_from_fen(BENCH_POSITIONS[1]);
    SearchOutput out = parse_output(think_output(board, depth_limit(1)));
    ASSERT_EQ(out.infos.size(), 1u);
    EXPECT_EQ(out.infos[0].depth, 1);
    EXPECT_FALSE(out.bestmove.empty());

    const std::string text = think_output(board, depth_limit(6));
    out                    = parse_output(text);
    ASSERT_EQ(out.infos.size(), 6u);
    for (int d = 0; d < 6; ++d)
        EXPECT_EQ(out.infos[d].depth, d + 1);
    // The bestmove line comes last and repeats the first move of the last line.
    EXPECT_EQ(split_lines(text).back(), "bestmove " + out.infos.back().pv[0]);
    EXPECT_EQ(out.other_lines, 0);
}

TEST(Think, CheckmatedAndStalematedRootsPlayNullMove)
{
    fresh_engine();
    for (const char* fen : {
             "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", // back-rank mate
             "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", // stalemate
         }) {
        Board board = board_from_fen(fen);
        EXPECT_EQ(think_output(board, depth_limit(5)), "bestmove 0000\n") << fen;
        SearchLimits infinite {};
        infinite.infinite = true; // input has ended in tests, so the wait returns at once
        EXPECT_EQ(think_output(board, infinite), "bestmove 0000\n") << fen;
    }
}

struct MatePosition {
    std::string fen;
    int moves = 0; // mate in this many moves; negative: the side to move gets mated
    int depth = 0; // the fixed depth that finds it
    std::vector<std::string> first_moves;
};

std::vector<MatePosition> read_mates()
{
    std::vector<MatePosition> mates;
    std::ifstream file(std::string(TEST_DATA_DIR) + "/mates.txt");
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string fen, mate, depth, moves, word;
        std::getline(fields, fen, ';');
        std::getline(fields, mate, ';');
        std::getline(fields, depth, ';');
        std::getline(fields, moves);
        MatePosition position;
        position.fen = fen;
        std::istringstream(mate) >> word >> position.moves;
        std::istringstream(depth) >> word >> position.depth;
        std::istringstream move_list(moves);
        while (move_list >> word)
            position.first_moves.push_back(word);
        mates.push_back(position);
    }
    return mates;
}

// Forced mates checked by an independent engine, with every first move that keeps the
// shortest mate: the search announces the mate ("mate 3", or "mate -2" for the side that
// gets mated) and plays one of those moves.
TEST(Think, FindsMates)
{
    const std::vector<MatePosition> mates = read_mates();
    std::map<int, int> by_length;
    for (const MatePosition& mate : mates) {
        fresh_engine();
        ++by_length[mate.moves];
        Board board            = board_from_fen(mate.fen);
        const SearchOutput out = parse_output(think_output(board, depth_limit(mate.depth)));
        ASSERT_FALSE(out.infos.empty()) << mate.fen;
        EXPECT_EQ(out.infos.back().score, "mate " + std::to_string(mate.moves)) << mate.fen;
        if (mate.moves > 0) {
            EXPECT_NE(std::find(mate.first_moves.begin(), mate.first_moves.end(), out.bestmove),
                mate.first_moves.end())
                << mate.fen << " played " << out.bestmove;
        }
    }
    for (const int n : { -2, -1, 1, 2, 3, 4 })
        EXPECT_GE(by_length[n], 4) << "mates in " << n;
    EXPECT_GE(mates.size(), 40u);
}

// White is a queen and rook down; the only move that does not lose repeats a position of the
// game before the search began (Ng1-f3, after which Black stands where it stood two moves ago).
TEST(Think, RepetitionBeforeTheRootIsADraw)
{
    fresh_engine();
    Board board = board_from_fen("1k6/2r5/8/8/8/8/3q4/6NK w - - 0 1");
    play(board, "g1f3 b8a8 f3g1 a8b8");
    const SearchOutput out = parse_output(think_output(board, depth_limit(4)));
    // The root itself repeats the start of the game and is still searched. Depth 1 leaves
    // the replies to quiescence, which knows no draws.
    ASSERT_EQ(out.infos.size(), 4u);
    for (std::size_t i = 1; i < out.infos.size(); ++i)
        EXPECT_EQ(out.infos[i].score, "cp 0");
    EXPECT_EQ(out.bestmove, "g1f3");
    EXPECT_EQ(board.undo_count, 4);

    // Without the history the same position is lost.
    fresh_engine();
    Board fresh             = board_from_fen("1k6/2r5/8/8/8/8/3q4/6NK w - - 4 3");
    const SearchOutput lost = parse_output(think_output(fresh, depth_limit(4)));
    ASSERT_FALSE(lost.infos.empty());
    EXPECT_NE(lost.infos.back().score, "cp 0");
}

TEST(Think, RepeatedRootStillSearches)
{
    fresh_engine();
    Board board = board_from_fen(START_FEN);
    play(board, "g1f3 g8f6 f3g1 f6g8");
    const SearchOutput out = parse_output(think_output(board, depth_limit(3)));
    ASSERT_EQ(out.infos.size(), 3u);
    EXPECT_EQ(out.bestmove, out.infos.back().pv[0]);
    EXPECT_NE(out.bestmove, "0000");
}

// The fifty-move rule scores every line 0 once a move is made, but the root is searched.
TEST(Think, FiftyMoveRule)
{
    fresh_engine();
    Board board      = board_from_fen("k7/8/1K6/8/8/8/7Q/8 w - - 0 80");
    SearchOutput out = parse_output(think_output(board, depth_limit(3)));
    ASSERT_FALSE(out.infos.empty());
    EXPECT_EQ(out.infos.back().score, "mate 1");
    EXPECT_EQ(out.bestmove, "h2h8");

    fresh_engine();
    board = board_from_fen("k7/8/1K6/8/8/8/7Q/8 w - - 100 80");
    out   = parse_output(think_output(board, depth_limit(3)));
    ASSERT_EQ(out.infos.size(), 3u);
    EXPECT_EQ(out.infos[1].score, "cp 0"); // depth 1 goes no further than quiescence
    EXPECT_EQ(out.infos[2].score, "cp 0");
    EXPECT_EQ(out.bestmove, out.infos.back().pv[0]);

    // A checkmated root stays checkmated whatever the clock says.
    board = board_from_fen("R5k1/5ppp/8/8/8/8/8/6K1 b - - 120 90");
    EXPECT_EQ(think_output(board, depth_limit(3)), "bestmove 0000\n");
}

// A node limit ends the search at the first check after it is reached (every 1024th node,
// from iteration 2 on); the move of the last completed iteration is played.
TEST(Think, NodeLimitStopsTheSearch)
{
    fresh_engine();
    Board board = board_from_fen(START_FEN);
    SearchLimits limits {};
    limits.nodes           = 1000;
    const SearchOutput out = parse_output(think_output(board, limits));
    EXPECT_EQ(node_count, 1024u);
    ASSERT_EQ(out.infos.size(), 4u); // depth 5 ends after 1336 nodes
    EXPECT_EQ(out.infos.back().depth, 4);
    EXPECT_EQ(out.bestmove, "d2d4");
    EXPECT_EQ(board.hash, board_from_fen(START_FEN).hash);
    EXPECT_EQ(board.undo_count, 0);

    // With a depth as well, whichever limit comes first ends the search.
    fresh_engine();
    limits.depth = 3;
    EXPECT_EQ(parse_output(think_output(board, limits)).infos.size(), 3u);
    EXPECT_EQ(node_count, 355u);
}

// An infinite search listens for "stop"; in the tests the input counts as ended, so the first
// poll (node 1024, in iteration 5 of the start position) stops it.
TEST(Think, InfiniteSearchPollsForStop)
{
    fresh_engine();
    Board board = board_from_fen(START_FEN);
    SearchLimits limits {};
    limits.infinite        = true;
    const SearchOutput out = parse_output(think_output(board, limits));
    EXPECT_EQ(node_count, 1024u);
    EXPECT_EQ(out.infos.size(), 4u);
    EXPECT_EQ(out.bestmove, "d2d4");

    // Given a depth, an infinite search ends there without looking at the input.
    fresh_engine();
    limits.depth = 6;
    EXPECT_EQ(parse_output(think_output(board, limits)).infos.size(), 6u);
    EXPECT_EQ(node_count, 2933u);
}

// Depth limits above 127 are cut to 127; a mate in one makes the deep iterations cheap.
TEST(Think, DepthLimitAboveTableSize)
{
    fresh_engine();
    Board board            = board_from_fen("k7/8/1K6/8/8/8/7Q/8 w - - 0 80");
    const SearchOutput out = parse_output(think_output(board, depth_limit(100000)));
    ASSERT_EQ(out.infos.size(), 127u);
    EXPECT_EQ(out.infos.back().depth, 127);
    EXPECT_EQ(out.infos.back().score, "mate 1");
    EXPECT_EQ(out.bestmove, "h2h8");
    EXPECT_LT(node_count, 1024u); // all 127 iterations pass without a single limit check
}

// A history longer than the position command keeps is shortened before the search, so the
// search's own moves always fit on the undo stack.
TEST(Think, LongHistoryLeavesRoomForTheSearch)
{
    fresh_engine();
    auto board                    = std::make_unique<Board>(board_from_fen(BENCH_POSITIONS[1]));
    const std::uint64_t root_hash = board->hash;
    // Records of an imaginary earlier game; the half-move clock keeps the repetition test away.
    for (int i = 0; i < UNDO_CAPACITY - 2; ++i)
        board->undo_stack[i] = UndoRecord { NO_SQUARE, 0, 0, NO_CAPTURE, 1000u + i, 0 };
    board->undo_count      = UNDO_CAPACITY - 2;
    const SearchOutput out = parse_output(think_output(*board, depth_limit(5)));
    EXPECT_EQ(out.infos.size(), 5u);
    EXPECT_EQ(board->undo_count, GAME_HISTORY_LIMIT);
    EXPECT_EQ(board->hash, root_hash);
    EXPECT_EQ(board->undo_stack[GAME_HISTORY_LIMIT - 1].hash, 1000u + UNDO_CAPACITY - 3);
}

// Every line printed is a legal sequence of moves, and the board comes back unchanged.
TEST(Think, PrincipalVariationsAreLegal)
{
    std::vector<std::string> fens(std::begin(BENCH_POSITIONS), std::end(BENCH_POSITIONS));
    for (const MatePosition& mate : read_mates())
        fens.push_back(mate.fen);
    for (const std::string& fen : fens) {
        fresh_engine();
        Board board            = board_from_fen(fen);
        const Board before     = board;
        const SearchOutput out = parse_output(think_output(board, depth_limit(5)));
        EXPECT_EQ(board.hash, before.hash) << fen;
        EXPECT_EQ(board.undo_count, before.undo_count) << fen;
        EXPECT_TRUE(board_is_consistent(board)) << fen;
        for (const InfoLine& info : out.infos) {
            Board line = before;
            for (const std::string& move : info.pv) {
                const Move m = uci_to_move(line, move);
                ASSERT_NE(m, NO_MOVE) << fen << " depth " << info.depth << " move " << move;
                make_move(line, m);
            }
            EXPECT_GE(info.seldepth, static_cast<int>(info.pv.size()) - 1) << fen;
        }
    }
}

// End to end, through the executable's command loop: one engine run per test (each pays for
// the start-up), one search per "bestmove" line.
std::vector<SearchOutput> engine_searches(const std::string& input)
{
    const EngineRun run = run_engine(input + "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    std::vector<SearchOutput> searches;
    std::string text;
    for (const std::string& line : split_lines(run.output)) {
        text += line + "\n";
        if (line.rfind("bestmove", 0) == 0) {
            searches.push_back(parse_output(text));
            text.clear();
        }
    }
    return searches;
}

TEST(ThinkEndToEnd, DepthAndNodeLimits)
{
    const std::vector<SearchOutput> out
        = engine_searches("position startpos\ngo depth 1\n"
                          "ucinewgame\ngo depth 6\n"
                          "ucinewgame\ngo nodes 1000\n"
                          "position fen k7/8/1K6/8/8/8/7Q/8 w - - 0 80\n"
                          "go depth 1000\n"
                          "position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1\n"
                          "go depth 5\n");
    ASSERT_EQ(out.size(), 5u);
    ASSERT_EQ(out[0].infos.size(), 1u);
    EXPECT_EQ(out[0].infos[0].nodes, 49u);
    EXPECT_EQ(out[0].bestmove, "d2d4");

    ASSERT_EQ(out[1].infos.size(), 6u);
    for (int d = 0; d < 6; ++d)
        EXPECT_EQ(out[1].infos[d].depth, d + 1);
    EXPECT_EQ(out[1].infos.back().nodes, 2933u);

    // The node limit stops iteration 5 at node 1024.
    EXPECT_EQ(out[2].infos.size(), 4u);
    EXPECT_EQ(out[2].bestmove, "d2d4");

    // Above 127 the depth is cut to 127.
    ASSERT_EQ(out[3].infos.size(), 127u);
    EXPECT_EQ(out[3].infos.back().score, "mate 1");
    EXPECT_EQ(out[3].bestmove, "h2h8");

    EXPECT_TRUE(out[4].infos.empty());
    EXPECT_EQ(out[4].bestmove, "0000");
}

// Whatever the clock allows, depth 1 completes and a move comes back. Only the mover's clock
// counts: White's time with Black to move is a bare go.
TEST(ThinkEndToEnd, TimeLimits)
{
    const std::vector<SearchOutput> out = engine_searches(
        "position startpos moves e2e4\ngo movetime 5\ngo wtime 1 btime 1\ngo\ngo wtime 60000\n");
    ASSERT_EQ(out.size(), 4u);
    for (const SearchOutput& search : out) {
        EXPECT_GE(search.infos.size(), 1u);
        EXPECT_EQ(search.bestmove, search.infos.back().pv[0]);
    }
}

// An infinite search ends on "stop", and only then answers, even when it has nothing (left)
// to search.
TEST(ThinkEndToEnd, InfiniteSearchWaitsForStop)
{
    const EngineRun run
        = run_engine("position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1\ngo infinite\nisready\nstop\n"
                     "position fen k7/8/1K6/8/8/8/7Q/8 w - - 0 80\ngo infinite\nisready\nstop\n"
                     "position startpos\ngo infinite\nstop\nisready\nquit\n");
    const std::vector<std::string> lines = split_lines(run.output);
    ASSERT_GE(lines.size(), 133u) << run.output;
    EXPECT_EQ(lines[0], "readyok");
    EXPECT_EQ(lines[1], "bestmove 0000");

    // A forced mate completes depth 127 without reaching a single input check.
    EXPECT_EQ(lines[128].rfind("info depth 127 ", 0), 0u);
    EXPECT_EQ(lines[129], "readyok");
    EXPECT_EQ(lines[130], "bestmove h2h8");

    // Stopped in the middle: the last complete iteration's move, then the next command.
    EXPECT_EQ(lines[131].rfind("info depth 1 ", 0), 0u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("bestmove ", 0), 0u);
    EXPECT_EQ(lines.back(), "readyok");
}

// A repeated root, or one past the fifty-move limit, is searched and answers with a move.
TEST(ThinkEndToEnd, DrawnRootsAreSearched)
{
    // A long game: 1600 knight moves back and forth, far past the fifty-move limit; the
    // history the search sees is cut to what the undo stack can hold alongside the search.
    // Only pawn moves reset the clock, so the search prefers them to a drawn knight move.
    std::string moves;
    for (int i = 0; i < 400; ++i)
        moves += " g1f3 g8f6 f3g1 f6g8";
    const std::vector<SearchOutput> out = engine_searches(
        "position startpos moves g1f3 g8f6 f3g1 f6g8\ngo depth 3\nposition startpos moves" + moves
        + "\ngo depth 4\n");
    ASSERT_EQ(out.size(), 2u);
    ASSERT_EQ(out[0].infos.size(), 3u);
    EXPECT_EQ(out[0].bestmove, out[0].infos.back().pv[0]);
    ASSERT_EQ(out[1].infos.size(), 4u);
    EXPECT_EQ(out[1].bestmove, out[1].infos.back().pv[0]);
    EXPECT_EQ(out[1].bestmove[1], '2'); // a pawn move from the second rank
}

} // namespace
