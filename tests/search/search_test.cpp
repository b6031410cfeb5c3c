// The alpha-beta and quiescence searches called directly: their tables, terminal scores,
// draws, the ply limit, the stop flag and what they leave in the transposition table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "eval/eval.h"
#include "eval/psq.h"
#include "movegen/movegen.h"
#include "search/move_picker.h"
#include "search/search.h"
#include "search/think.h"
#include "search/tt.h"
#include "support.h"
#include "uci/uci.h"

namespace {

PlyRecord stack[SEARCH_STACK_SIZE];

// Start-up tables and a cleared search state, as the driver leaves them before iteration 1.
void prepare_search()
{
    init_core_tables();
    eval_style = STYLE_PESTO;
    init_eval_tables();
    init_lmr_table();
    if (tt_table == nullptr)
        tt_resize(16);
    tt_clear();
    tt_generation = 1;
    clear_move_ordering();
    std::memset(stack, 0, sizeof stack);
    node_count      = 0;
    seldepth        = 0;
    stop_flag       = 0;
    iteration_depth = 1; // no clock or input checks
    node_limit      = 0;
    poll_for_stop   = false;
}

int search_at(
    Board& board, int depth, int ply, int alpha = -SCORE_INFINITE, int beta = SCORE_INFINITE)
{
    return search(board, &stack[ROOT_STACK_INDEX + ply], depth, alpha, beta, true, ply);
}

TEST(SearchTables, LmrTableMatchesDoublePrecisionLogs)
{
    init_lmr_table();
    init_lmr_table(); // safe to repeat
    for (int d = 0; d < MAX_PLY; ++d)
        for (int m = 0; m < MAX_MOVES; ++m) {
            const double exact = d == 0 || m == 0
                ? 0.0
                : std::log(static_cast<double>(d)) * std::log(static_cast<double>(m)) / 2.25 + 0.75;
            ASSERT_EQ(lmr_table[d][m], static_cast<int>(std::trunc(exact))) << d << " " << m;
        }
    EXPECT_EQ(lmr_table[10][10], 3);
    EXPECT_EQ(lmr_table[20][30], 5);
    EXPECT_EQ(lmr_table[127][255], 12);
    EXPECT_EQ(lmr_table[1][200], 0);
    EXPECT_EQ(lmr_table[100][1], 0);
    EXPECT_EQ(lmr_table[3][4], 1);
}

TEST(SearchTables, LateMovePruningCounts)
{
    const int expected[2][7] = { { 0, 3, 5, 8, 13, 18, 25 }, { 0, 5, 8, 12, 18, 25, 35 } };
    for (int i = 0; i < 2; ++i)
        for (int d = 1; d < 7; ++d)
            EXPECT_EQ(lmp_table[i][d], expected[i][d]);
}

TEST(Search, TerminalScores)
{
    prepare_search();
    Board mated = board_from_fen("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(search_at(mated, 3, 0), -SCORE_MATE);
    EXPECT_EQ(search_at(mated, 3, 1), -(SCORE_MATE - 1));
    EXPECT_EQ(search_at(mated, 1, 7), -(SCORE_MATE - 7));

    Board stalemate = board_from_fen("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(search_at(stalemate, 3, 0), 0);

    // Mate in one: the root sees its child mated at ply 1.
    prepare_search();
    Board mate_in_one = board_from_fen("k7/8/1K6/8/8/8/7Q/8 w - - 0 80");
    EXPECT_EQ(search_at(mate_in_one, 2, 0), SCORE_MATE - 1);
    EXPECT_EQ(std::string(move_to_uci(stack[ROOT_STACK_INDEX].pv[0]).str), "h2h8");
    EXPECT_EQ(stack[ROOT_STACK_INDEX].pv_length, 1);

    // Mate-distance bounds: nothing at ply 5 can beat a mate already found at ply 3.
    prepare_search();
    const std::uint64_t before = node_count;
    EXPECT_EQ(search_at(mate_in_one, 4, 5, SCORE_MATE - 3, SCORE_MATE - 2), SCORE_MATE - 3);
    EXPECT_EQ(node_count, before + 1);
}

TEST(Search, DrawsBelowTheRootOnly)
{
    prepare_search();
    Board board = board_from_fen(START_FEN);
    for (const char* text : { "g1f3", "g8f6", "f3g1", "f6g8" })
        make_move(board, uci_to_move(board, text));

    // Below the root a repetition is a draw at once; the root itself is searched.
    EXPECT_EQ(search_at(board, 3, 1), 0);
    EXPECT_EQ(node_count, 1u);
    EXPECT_EQ(stack[ROOT_STACK_INDEX + 1].pv_length, 0);
    search_at(board, 3, 0);
    EXPECT_GT(node_count, 20u);
    EXPECT_GT(stack[ROOT_STACK_INDEX].pv_length, 0);

    // The repetition test reaches back only as far as the half-move clock.
    prepare_search();
    Board game = board_from_fen(START_FEN);
    for (const char* text : { "e2e3", "e7e6", "g1f3", "g8f6", "f3g1", "f6g8" })
        make_move(game, uci_to_move(game, text));
    EXPECT_EQ(search_at(game, 2, 1), 0);
    EXPECT_EQ(node_count, 1u);
    game.halfmove_clock = 2;
    search_at(game, 2, 1);
    EXPECT_GT(node_count, 2u);

    // Fifty-move rule below the root, even with a mate on the board; depth 0 goes to
    // quiescence before the test.
    prepare_search();
    Board fifty = board_from_fen("k7/8/1K6/8/8/8/7Q/8 w - - 100 80");
    EXPECT_EQ(search_at(fifty, 3, 1), 0);
    EXPECT_EQ(search_at(fifty, 3, 0), 0);
}

// At ply 127 the children return their static evaluation; at MAX_PLY the node itself does.
TEST(Search, PlyLimit)
{
    prepare_search();
    Board board
        = board_from_fen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    const Board original = board;
    EXPECT_EQ(search_at(board, 5, MAX_PLY), evaluate(board));
    EXPECT_EQ(node_count, 1u);
    EXPECT_EQ(seldepth, MAX_PLY);

    node_count      = 0;
    const int score = search_at(board, 6, MAX_PLY - 1);
    EXPECT_GT(score, -SCORE_MATE_BOUND);
    EXPECT_LT(score, SCORE_MATE_BOUND);
    EXPECT_EQ(seldepth, MAX_PLY);
    EXPECT_LE(stack[ROOT_STACK_INDEX + MAX_PLY - 1].pv_length, 1);
    EXPECT_EQ(board.hash, original.hash);
    EXPECT_EQ(board.undo_count, original.undo_count);
    EXPECT_TRUE(board_is_consistent(board));
}

TEST(Search, StopFlagEndsEveryCall)
{
    prepare_search();
    Board board = board_from_fen(START_FEN);
    stop_flag   = 1;
    EXPECT_EQ(search_at(board, 5, 0), 0);
    EXPECT_EQ(quiescence(board, &stack[ROOT_STACK_INDEX], -100, 100, 0), 0);
    EXPECT_EQ(node_count, 0u);

    // A hard limit already passed stops the search at node 1024 of iteration 2 or later.
    prepare_search();
    iteration_depth        = 2;
    time_budget.start_time = 0;
    time_budget.hard_limit = 0;
    const Board original   = board;
    search_at(board, 8, 0);
    // A multiple of 1024 reached in quiescence passes; the next one in search stops.
    EXPECT_EQ(stop_flag, 1);
    EXPECT_EQ(node_count % 1024, 0u);
    EXPECT_LT(node_count, 1024u * 8);
    EXPECT_EQ(board.hash, original.hash);
    EXPECT_EQ(board.undo_count, 0);
    EXPECT_TRUE(board_is_consistent(board));
}

TEST(Quiescence, WinsHangingMaterialAndStoresDepthZero)
{
    prepare_search();
    // White to move can take a queen on d5 with the e4 pawn.
    Board board         = board_from_fen("4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1");
    const int stand_pat = evaluate(board);
    const int score
        = quiescence(board, &stack[ROOT_STACK_INDEX], -SCORE_INFINITE, SCORE_INFINITE, 0);
    EXPECT_GT(score, stand_pat + 500);
    EXPECT_EQ(std::string(move_to_uci(stack[ROOT_STACK_INDEX].pv[0]).str), "e4d5");

    const TTHit hit = tt_probe(board.hash, 0);
    ASSERT_TRUE(hit.found);
    EXPECT_EQ(hit.depth, 0);
    EXPECT_EQ(hit.bound, BOUND_EXACT);
    EXPECT_EQ(hit.score, score);
    EXPECT_EQ(std::string(move_to_uci(hit.move).str), "e4d5");

    // A stand-pat at or above beta returns at once, before the table is read.
    prepare_search();
    EXPECT_EQ(
        quiescence(board, &stack[ROOT_STACK_INDEX], -SCORE_INFINITE, stand_pat, 0), stand_pat);
    EXPECT_EQ(node_count, 1u);
    EXPECT_FALSE(tt_probe(board.hash, 0).found);

    // Nothing to take: the stand-pat, stored as an upper bound without a move.
    prepare_search();
    Board quiet = board_from_fen(START_FEN);
    EXPECT_EQ(quiescence(quiet, &stack[ROOT_STACK_INDEX], -SCORE_INFINITE, SCORE_INFINITE, 0),
        evaluate(quiet));
    const TTHit none = tt_probe(quiet.hash, 0);
    ASSERT_TRUE(none.found);
    EXPECT_EQ(none.bound, BOUND_UPPER);
    EXPECT_EQ(none.move, NO_MOVE);
}

// Quiescence stands pat even in check: it looks at captures only.
TEST(Quiescence, StandsPatInCheck)
{
    prepare_search();
    Board board = board_from_fen("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(quiescence(board, &stack[ROOT_STACK_INDEX], -SCORE_INFINITE, SCORE_INFINITE, 0),
        evaluate(board));
}

} // namespace
