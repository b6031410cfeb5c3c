// End-to-end transcripts through the real executable.
#include <gtest/gtest.h>

#include <random>

#include "movegen/movegen.h"
#include "support.h"

namespace {

const char* const UCI_REPLY = "id name Vantorel\n"
                              "id author You\n"
                              "option name Hash type spin default 64 min 1 max 2048\n"
                              "option name Threads type spin default 1 min 1 max 1\n"
                              "option name OwnBook type check default false\n"
                              "option name BookFile type string default champions.bin\n"
                              "option name Style type combo default PeSTO var PeSTO var Linear\n"
                              "uciok\n";

std::string board_text(const Board& b)
{
    testing::internal::CaptureStdout();
    print_board(b);
    return testing::internal::GetCapturedStdout();
}

TEST(UciLoop, IdentityAndReadiness)
{
    const EngineRun run = run_engine("uci\nisready\nquit\n");
    EXPECT_EQ(run.output, std::string(UCI_REPLY) + "readyok\n");
    EXPECT_EQ(run.exit_status, 0);
}

TEST(UciLoop, NearMissesAreIgnoredSilently)
{
    const EngineRun run = run_engine("uci \n uci\nUCI\n\n   \nd x\ndebug on\nregister later\n"
                                     "ponderhit\nquit now\nisready\n");
    EXPECT_EQ(run.output, "readyok\n");
    EXPECT_EQ(run.exit_status, 0);
}

TEST(UciLoop, LineEndsAndEndOfInput)
{
    // "\r\n" and a lone "\r" both end a line; end of input ends the program like quit.
    EXPECT_EQ(run_engine("isready\r\nisready\risready").output, "readyok\nreadyok\nreadyok\n");
    EXPECT_EQ(run_engine("quit\r\nisready\n").output, "");
    EXPECT_EQ(run_engine("").exit_status, 0);
}

TEST(UciLoop, BoardDisplayAfterMoves)
{
    const EngineRun run = run_engine("position startpos moves e2e4\nd\n");
    EXPECT_EQ(run.output,
        board_text(board_from_fen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1")));
    EXPECT_NE(
        run.output.find("EP square: e3\n50-move: 0, Hash: 9920ca2c579d60a6\n"), std::string::npos);
}

TEST(Position, MoveTokens)
{
    // Illegal and malformed tokens are skipped (a fifth character on a non-promotion too).
    const EngineRun run = run_engine("position startpos moves e2e5 e2e4 zz e7e5 e1e2 x e8e7q\nd\n");
    EXPECT_EQ(run.output,
        board_text(board_from_fen("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPPKPPP/RNBQ1BNR b kq - 1 2")));
    // A promotion needs its lower-case letter.
    const std::string fen = "position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves ";
    EXPECT_EQ(run_engine(fen + "a7a8\nd\n").output,
        board_text(board_from_fen("4k3/P7/8/8/8/8/8/4K3 w - - 0 1")));
    EXPECT_EQ(run_engine(fen + "a7a8Q\nd\n").output,
        board_text(board_from_fen("4k3/P7/8/8/8/8/8/4K3 w - - 0 1")));
    EXPECT_EQ(run_engine(fen + "a7a8n\nd\n").output,
        board_text(board_from_fen("N3k3/8/8/8/8/8/8/4K3 b - - 0 1")));
    // "positionstartpos" is a position command; a bare "position" changes nothing.
    EXPECT_EQ(run_engine("position startpos moves e2e4\nposition\nd\n").output,
        run_engine("positionstartpos moves e2e4\nd\n").output);
}

TEST(Position, ShortFenFollowedByMoves)
{
    // The FEN ends where "moves" starts; missing fields take their defaults.
    const EngineRun run = run_engine("position fen 4k3/8/8/8/8/8/4P3/4K3 w - moves e2e4 e8d7\nd\n");
    Board expected      = board_from_fen("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    make_move(expected, make_move_word(12, 28, FLAG_DOUBLE_PUSH));
    make_move(expected, make_move_word(60, 51, FLAG_QUIET));
    EXPECT_EQ(run.output, board_text(expected));
}

// A 2,000-ply game on one 10,000-character line, far beyond the undo stack's capacity.
TEST(Position, LongGameOnOneLine)
{
    const LongGame game = random_long_game(2000, 99);
    EXPECT_EQ(run_engine(game.line + "\nd\n").output, board_text(game.board));
}

TEST(Perft, DivideAndArguments)
{
    const EngineRun run = run_engine("position startpos\nperft 2\n");
    EXPECT_EQ(run.output.rfind("a2a3: 20\nb2b3: 20\n", 0), 0u);
    EXPECT_NE(run.output.find("g1h3: 20\nTotal: 400\n"), std::string::npos);
    // Missing, zero and non-numeric depths run depth 1; "perfttest 3" is perft, not the suite.
    const auto lines
        = split_lines(run_engine("perft\nperft 0\nperft -5\nperft x\nperfttest 3\n").output);
    ASSERT_EQ(lines.size(), 5 * 21u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(lines[i * 21 + 20], "Total: 20");
}

TEST(Diagnostics, DupcheckAndIllegalcheck)
{
    EXPECT_EQ(run_engine("dupcheck\nillegalcheck\n").output,
        "Total pseudo-legal: 20, Duplicates: 0\n"
        "No illegal moves found among move_is_legal=true set.\n");
    // A pinned piece leaving the line is outside the legal set and never reported.
    EXPECT_EQ(run_engine("position fen 4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1\nillegalcheck\n").output,
        "No illegal moves found among move_is_legal=true set.\n");
}

// Boards that no game can reach must not crash any diagnostic.
TEST(Diagnostics, HostileBoards)
{
    const char* fens[] = {
        "8/8/8/8/8/8/8/8 w KQkq e3 0 1",
        "8/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
        "KKKKKKKK/kkkkkkkk/8/8/8/8/8/8 w - - 0 1",
        "PPPPPPPP/8/8/8/8/8/8/pppppppp w - - 0 1",
        "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/8/8/8/K6k w - - 0 1",
        "NNNNNNNN/NNNNNNNN/nnnnnnnn/nnnnnnnn/8/8/8/K6k b - - 0 1",
        "4k3/8/8/8/8/8/8/4K2R b K - 0 1",
        "k7/8/8/8/8/8/8/R3K2r w Q - 0 1",
    };
    std::string input;
    for (const char* fen : fens)
        input += std::string("position fen ") + fen + "\nd\nperft 2\ndupcheck\nillegalcheck\n";
    const EngineRun run = run_engine(input + "isready\n");
    EXPECT_EQ(run.exit_status, 0);
    auto count = [&](const std::string& needle) {
        int n = 0;
        for (auto at = run.output.find(needle); at != std::string::npos;
             at      = run.output.find(needle, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("Total: "), 8);
    EXPECT_EQ(count("Duplicates: 0\n"), 8);
    EXPECT_EQ(count("No illegal moves found"), 8);
    EXPECT_EQ(run.output.substr(run.output.size() - 8), "readyok\n");
}

TEST(UciLoop, HugeAndBinaryLines)
{
    std::string input = "position startpos moves " + std::string(1 << 20, 'x') + "\n";
    input += std::string("posi\0tion", 9) + "\n" + "\xff\xfe\x80 garbage\n";
    input += "isready\n";
    const EngineRun run = run_engine(input);
    EXPECT_EQ(run.output, "readyok\n");
    EXPECT_EQ(run.exit_status, 0);
}

TEST(CommandLine, PerftTestArgument)
{
    // Only the argument handling here; the suite's deep counts run in the release check.
    const EngineRun run = run_engine("isready\n", "unknown-argument");
    EXPECT_EQ(run.output, "readyok\n");
}

} // namespace
