// The go, setoption and bench commands: parsing in-process, behaviour end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "book/polyglot.h"
#include "eval/psq.h"
#include "search/search.h"
#include "search/tt.h"
#include "support.h"
#include "uci/uci.h"

namespace {

int count_lines_starting(const std::string& text, const std::string& prefix)
{
    const auto lines = split_lines(text);
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

TEST(GoParsing, KeywordsNumbersAndUnknownWords)
{
    SearchLimits l = parse_go("go depth 5");
    EXPECT_EQ(l.depth, 5);
    EXPECT_EQ(l.wtime + l.btime + l.winc + l.binc + l.movestogo + l.movetime + l.nodes, 0);
    EXPECT_FALSE(l.infinite);

    l = parse_go("go wtime 60000 btime 59000 winc 1000 binc 900 movestogo 12");
    EXPECT_EQ(l.wtime, 60000);
    EXPECT_EQ(l.btime, 59000);
    EXPECT_EQ(l.winc, 1000);
    EXPECT_EQ(l.binc, 900);
    EXPECT_EQ(l.movestogo, 12);

    EXPECT_EQ(parse_go("go depth5").depth, 5); // keywords match by prefix
    EXPECT_EQ(parse_go("go ponder searchmoves e2e4 d2d4 mate 3 nodes 100").nodes, 100);
    EXPECT_EQ(parse_go("go ponder searchmoves e2e4 d2d4 mate 3 nodes 100").depth, 0);
    EXPECT_TRUE(parse_go("go infinite").infinite);
    EXPECT_EQ(parse_go("go movetime -50").movetime, -50);
    EXPECT_EQ(parse_go("go movetime abc").movetime, 0);
    EXPECT_EQ(parse_go("go depth 99999999999999999999").depth, INT_MAX);
    EXPECT_EQ(parse_go("gofast").depth, 0);
    EXPECT_EQ(parse_go("go   depth   7   ").depth, 7);
}

TEST(SetOption, HashOwnBookStyle)
{
    Board board = board_from_fen(START_FEN);
    setoption_command("setoption name Hash value 100000", board);
    EXPECT_EQ(tt_count, 134217728u);
    setoption_command("setoption name Hash value 0", board);
    EXPECT_EQ(tt_count, 65536u);
    setoption_command("setoption name Hash value 16", board);
    EXPECT_EQ(tt_count, 1048576u);
    setoption_command("setoption name Hash value abc", board);
    EXPECT_EQ(tt_count, 65536u);
    setoption_command("setoption name Hash", board); // no value: nothing happens
    EXPECT_EQ(tt_count, 65536u);
    setoption_command("setoption name Threads value 4", board);
    setoption_command("setoption Hash value 4", board); // no "name"
    EXPECT_EQ(tt_count, 65536u);
    tt_resize(16);

    setoption_command("setoption name OwnBook value true", board);
    EXPECT_EQ(own_book, 1);
    setoption_command("setoption name OwnBook value True", board); // case-sensitive
    EXPECT_EQ(own_book, 0);

    setoption_command("setoption name Style value linear", board);
    EXPECT_EQ(eval_style, STYLE_PESTO);
    setoption_command("setoption name Style value Linear", board);
    EXPECT_EQ(eval_style, STYLE_LINEAR);
    // The game board's running score follows the new table at once.
    const Board kiwipete
        = board_from_fen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    board = kiwipete;
    setoption_command("setoption name Style value PeSTO", board);
    EXPECT_EQ(board.psq_score, compute_psq_score(board));
    EXPECT_TRUE(board_is_consistent(board));
}

TEST(Go, OneInfoLinePerDepthThenBestmove)
{
    const EngineRun one = run_engine("position startpos\ngo depth 1\n");
    EXPECT_EQ(count_lines_starting(one.output, "info "), 1);
    EXPECT_EQ(split_lines(one.output).back(), "bestmove d2d4");

    const EngineRun six = run_engine("position startpos\ngo depth 6\n");
    const auto lines    = split_lines(six.output);
    ASSERT_EQ(lines.size(), 7u);
    for (int d = 1; d <= 6; ++d)
        EXPECT_EQ(lines[d - 1].rfind("info depth " + std::to_string(d) + " seldepth ", 0), 0u);
    EXPECT_EQ(lines[0].substr(0, 40), "info depth 1 seldepth 1 score cp 113 nod");
    EXPECT_EQ(lines[5].substr(lines[5].find(" pv ")), " pv d2d4 d7d5 b1c3 g8f6 g1f3 b8c6");
    EXPECT_EQ(lines[6].rfind("bestmove ", 0), 0u);
}

TEST(Go, NoLegalMovesGivesNullMove)
{
    // Checkmated, then stalemated: no info line, bestmove 0000.
    const EngineRun run = run_engine("position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1\ngo depth 3\n"
                                     "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\ngo depth 3\n");
    EXPECT_EQ(run.output, "bestmove 0000\nbestmove 0000\n");
}

TEST(Go, InfiniteSearchListensForStop)
{
    // isready is answered during the search; other commands wait for bestmove.
    const EngineRun run
        = run_engine("position startpos\ngo infinite\nisready\nposition startpos moves e2e4\nd\n"
                     "stop\nisready\n");
    const auto lines    = split_lines(run.output);
    const auto bestmove = std::find_if(lines.begin(), lines.end(),
        [](const std::string& l) { return l.rfind("bestmove ", 0) == 0; });
    ASSERT_NE(bestmove, lines.end());
    EXPECT_NE(std::find(lines.begin(), bestmove, "readyok"), bestmove);
    EXPECT_NE(std::find(bestmove, lines.end(), "Side: black"), lines.end());
    EXPECT_EQ(lines.back(), "readyok");
    // End of input ends an infinite search, which still answers with a move.
    const EngineRun eof = run_engine("go infinite\n");
    EXPECT_EQ(split_lines(eof.output).back().rfind("bestmove ", 0), 0u);
    EXPECT_EQ(eof.exit_status, 0);
}

TEST(Go, StopAndNewGameWithoutSearch)
{
    const EngineRun run = run_engine("stop\nsetoption name Hash value 16\nposition startpos moves "
                                     "e2e4\nucinewgame\nd\nstop\n");
    EXPECT_EQ(run.output.find("bestmove"), std::string::npos);
    EXPECT_NE(run.output.find("Side: white\nCastling: KQkq\n50-move: 0, Hash: e2adaad23b96d882"),
        std::string::npos);
}

TEST(Bench, ReportAndArguments)
{
    const EngineRun run = run_engine("bench 3\n");
    const auto lines    = split_lines(run.output);
    ASSERT_GE(lines.size(), 6u);
    const size_t n = lines.size();
    EXPECT_EQ(lines[n - 6], "");
    EXPECT_EQ(lines[n - 5], "=== Bench ===");
    EXPECT_EQ(lines[n - 4], "Depth   : 3");
    EXPECT_EQ(lines[n - 3], "Nodes   : 3087");
    EXPECT_EQ(lines[n - 2].rfind("Time    : ", 0), 0u);
    EXPECT_EQ(lines[n - 1].rfind("NPS     : ", 0), 0u);
    EXPECT_EQ(count_lines_starting(run.output, "bestmove "), 5);
    // The command-line form runs the same bench and exits without reading input.
    const auto command_line = split_lines(run_engine("", "bench 3").output);
    ASSERT_EQ(command_line.size(), lines.size());
    EXPECT_EQ(command_line[n - 3], "Nodes   : 3087");
}

TEST(Bench, DefaultDepthAndTheGameBoard)
{
    // A depth below 1 (or none) runs depth 10; the game board is left as it was.
    const EngineRun run = run_engine("position startpos moves e2e4\nbench -1\nd\n");
    EXPECT_NE(run.output.find("Depth   : 10\nNodes   : 258646\n"), std::string::npos);
    EXPECT_NE(run.output.find("EP square: e3"), std::string::npos);
    EXPECT_NE(run_engine("", "bench 0").output.find("Depth   : 10\nNodes   : 258646\n"),
        std::string::npos);
}

TEST(Eval, StyleChangeTakesEffectAtOnce)
{
    const std::string fen
        = "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1\n";
    const EngineRun run = run_engine(fen + "eval\nsetoption name Style value Linear\neval\n" + fen
        + "eval\nsetoption name Style value linear\neval\n");
    const auto lines    = split_lines(run.output);
    ASSERT_EQ(lines.size(), 48u);
    EXPECT_EQ(lines[2], "Material+PST      MG:   +56  EG:   -25");
    EXPECT_EQ(lines[11], "Total (side-to-move): +54 cp");
    EXPECT_EQ(lines[14], "Material+PST      MG:   -46  EG:   -41");
    EXPECT_EQ(lines[23], "Total (side-to-move): -48 cp");
    EXPECT_EQ(lines[26], lines[14]);
    EXPECT_EQ(lines[38], lines[2]);
    EXPECT_EQ(lines[47], lines[11]);
}

} // namespace
