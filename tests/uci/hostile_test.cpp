// Hostile input through the real executable: whatever a GUI, a script or a person sends, the
// engine exits with status 0 and prints well-formed UCI. Commands are batched into few runs,
// since every process start costs a few hundred milliseconds (more under the sanitizers).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "movegen/movegen.h"
#include "support.h"
#include "uci/uci.h"

namespace {

// The engine reads lines of up to 4095 characters and prints none longer.
constexpr std::size_t MAX_LINE = 4095;

bool starts_with(const std::string& text, const std::string& word)
{
    return text.compare(0, word.size(), word) == 0;
}

// Exit status 0, and every output line printable ASCII of bounded length, ended by "\n".
void expect_clean(const EngineRun& run)
{
    EXPECT_EQ(run.exit_status, 0);
    ASSERT_TRUE(run.output.empty() || run.output.back() == '\n');
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < run.output.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(run.output[i]);
        if (c == '\n') {
            ASSERT_LE(i - line_start, MAX_LINE);
            line_start = i + 1;
        } else {
            ASSERT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << int(c) << " at " << i;
        }
    }
}

// run_engine with standard error captured: a sanitizer report must fail the test even when it
// comes too late to change the exit status (from a thread, while the program exits).
EngineRun run_checked(const std::string& input)
{
    char err_path[] = "/tmp/vantorel_err_XXXXXX";
    close(mkstemp(err_path));
    const EngineRun run = run_engine(input, std::string("2>") + err_path);
    std::ifstream err_file(err_path, std::ios::binary);
    std::stringstream err;
    err << err_file.rdbuf();
    unlink(err_path);
    EXPECT_EQ(err.str().substr(0, 2000), "") << "standard error was not empty";
    return run;
}

int count_lines(const std::string& output, const std::string& prefix)
{
    int n = 0;
    for (const std::string& line : split_lines(output))
        n += starts_with(line, prefix);
    return n;
}

// The info lines and the bestmove line of every search, in order.
struct SearchReply {
    std::vector<std::string> info;
    std::string best;
};

std::vector<SearchReply> search_replies(const std::string& output)
{
    std::vector<SearchReply> replies(1);
    for (const std::string& line : split_lines(output)) {
        if (starts_with(line, "info "))
            replies.back().info.push_back(line);
        else if (starts_with(line, "bestmove ")) {
            replies.back().best = line.substr(9);
            replies.emplace_back();
        }
    }
    EXPECT_TRUE(replies.back().info.empty()) << "info lines after the last bestmove";
    replies.pop_back();
    return replies;
}

// Every PV move legal in turn, the best move legal, or 0000 exactly when there is none.
void expect_sound_reply(const SearchReply& reply, const Board& position)
{
    for (const std::string& line : reply.info) {
        ASSERT_TRUE(starts_with(line, "info depth ")) << line;
        const std::size_t at = line.find(" pv");
        ASSERT_NE(at, std::string::npos) << line;
        Board b                = position;
        std::string_view moves = std::string_view(line).substr(at + 3);
        while (!moves.empty()) {
            ASSERT_EQ(moves[0], ' ') << line;
            moves.remove_prefix(1);
            const std::string_view token = moves.substr(0, moves.find(' '));
            const Move move              = uci_to_move(b, token);
            ASSERT_NE(move, NO_MOVE) << "illegal pv move " << token << " in " << line;
            make_move(b, move);
            moves.remove_prefix(token.size());
        }
    }
    Board b = position;
    MoveList legal;
    generate_legal_moves(b, legal);
    if (legal.count == 0)
        EXPECT_EQ(reply.best, "0000");
    else
        EXPECT_NE(uci_to_move(b, reply.best), NO_MOVE) << "illegal bestmove " << reply.best;
}

// One search per FEN, each checked against its own position.
void expect_searches_sound(const std::vector<std::string>& fens, const std::string& go)
{
    std::string input;
    for (const std::string& fen : fens)
        input += "position fen " + fen + "\n" + go + "\n";
    const EngineRun run = run_checked(input + "isready\n");
    expect_clean(run);
    const std::vector<SearchReply> replies = search_replies(run.output);
    ASSERT_EQ(replies.size(), fens.size()) << run.output;
    for (std::size_t i = 0; i < fens.size(); ++i) {
        SCOPED_TRACE(fens[i]);
        expect_sound_reply(replies[i], board_from_fen(fens[i]));
    }
    // (An open-ended search answers isready while it waits, before its bestmove.)
    EXPECT_EQ(count_lines(run.output, "readyok"), 1);
}

TEST(Hostile, EmptyHugeAndBinaryLines)
{
    const std::string mb(1 << 20, 'x');
    // A mated position first, where a search or a perft of any depth ends at once.
    std::string input = "position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1\n\n\n   \n\t\n";
    input += mb + "\n";
    input += "go " + std::string(1 << 20, ' ') + "depth 99\n";
    input += "perft " + std::string(1 << 20, '9') + "\n";
    input += "position fen " + std::string(1 << 19, '8') + std::string(1 << 19, '/') + "\n";
    input += "position startpos moves " + mb + "\n";
    input += "setoption name BookFile value " + mb + "\n";
    input += "setoption name " + mb + " value 1\n";
    input += std::string("isready\0\n", 9);
    input += std::string("uci\0uci\n", 8);
    input += std::string("position startpos moves e2e4\0e7e5\n", 34);
    input += "\xff\xfe\xfd\n\xc3\x28 \xe2\x82\n\x80go\n";
    input += "position startpos moves e2e4 \xc3\xa9\xe2\x82\xac\nd\nisready\n";
    const EngineRun run = run_checked(input);
    expect_clean(run);
    const std::vector<std::string> lines = split_lines(run.output);
    EXPECT_EQ(run.output.rfind("bestmove 0000\nTotal: 0\n", 0), 0u);
    EXPECT_EQ(count_lines(run.output, "bestmove "), 1);
    EXPECT_EQ(count_lines(run.output, "readyok"), 1);
    EXPECT_EQ(lines.back(), "readyok");
    // The last position command took e2e4 and skipped the accented token.
    EXPECT_NE(
        run.output.find("EP square: e3\n50-move: 0, Hash: 9920ca2c579d60a6\n"), std::string::npos);
}

TEST(Hostile, LineEnds)
{
    const EngineRun run = run_checked("isready\r\nisready\risready\n\risready\r\r\n"
                                      "position startpos moves e2e4\r\nd\r\nquit\r\nisready\n");
    expect_clean(run);
    EXPECT_EQ(count_lines(run.output, "readyok"), 4);
    EXPECT_NE(run.output.find("EP square: e3\n"), std::string::npos);
    EXPECT_EQ(run.output.find("readyok", run.output.find("EP square")), std::string::npos);
    // A lone "\r" at the very end of the input still ends the line.
    EXPECT_EQ(run_checked("isready\r").output, "readyok\n");
}

// Every command word with missing, negative, huge and non-numeric arguments. Searches whose
// limits would take long run on a mated position, where they end at once.
TEST(Hostile, CommandArguments)
{
    const std::string mated = "position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1\n";
    const char* const gos[] = { "go", "go depth", "go depth -1", "go depth 0",
        "go depth 99999999999999999999", "go depth x", "go nodes", "go nodes -5",
        "go nodes 2147483648", "go movetime -1", "go movetime 99999999999", "go wtime -2147483648",
        "go btime 2147483647 wtime 2147483647 winc 2147483647 binc 2147483647",
        "go wtime -1 winc -2147483648", "go movestogo -1 wtime 100", "go movestogo 2147483647",
        "go infinite", "go infinite depth 2", "go ponder searchmoves a1a2 mate 1", "gofast",
        "go depth5", "go wtime", "go depthdepthdepth", "go      ", "go depth 3 depth" };
    std::string input       = mated;
    for (const char* go : gos)
        input += std::string(go) + "\n";
    const int searches = static_cast<int>(sizeof gos / sizeof gos[0]);

    // The same words with small or odd values on the start position.
    input += "position startpos\n";
    const char* const quick[] = { "go depth 1", "go nodes 1", "go nodes 0 depth 1", "go movetime 1",
        "go movetime 0", "go movetime 11", "go wtime 1 btime 1", "go wtime 0 winc 2147483647",
        "go wtime 1000 winc 99999999999", "go wtime 1000 winc -99999999999",
        "go wtime 50 movestogo 1", "go wtime 50 movestogo 0", "go btime -5 binc -5 wtime 30" };
    for (const char* go : quick)
        input += std::string(go) + "\n";
    const int quick_searches = static_cast<int>(sizeof quick / sizeof quick[0]);

    input
        += "uci x\nisready x\nucinewgame x\nstop x\nd x\neval x\ndupcheck x\nillegalcheck x\n"
           "position\nposition \nposition fen\nposition fen \nposition moves e2e4\n"
           "position startpos moves\nposition startpos moves \nposition startposmoves e2e4\n"
           "position fen 8/8/8/8/8/8/8/8 w - - -99999999999999 99999999999999999999\n"
           "position fen k7/8/8/8/8/8/8/K7 w - - x y\n"
           "perft\nperft -1\nperft 0\nperft x\nperft -99999999999\nperfttest x\n"
           "bench 1\nbench 1x\nbench +1\n"
           "setoption\nsetoption name\nsetoption value\nsetoption name Hash\n"
           "setoption name Hash value\nsetoption name Hash value -5\nsetoption name Hash value x\n"
           "setoption name Hash value 0\nsetoption name Hash value 99999999999999999999\n"
           "setoption name Hash value -99999999999999999999\nsetoption name Hash value 16\n"
           "setoption name OwnBook\nsetoption name OwnBook value\nsetoption name OwnBook value 1\n"
           "setoption name BookFile\nsetoption name BookFile value\n"
           "setoption name BookFile value \nsetoption name Style value\n"
           "setoption name Style value -1\nsetoption name Threads value 99999999999\n"
           "setoption name Threads value -1\nsetoption name UCI_Chess960 value true\n"
           "setoption value 3 name Hash\nsetoption name Style value Linear\n"
           "position startpos\ngo depth 1\nsetoption name Style value PeSTO\n"
           "debug on\nregister later\nponderhit\nquit now\nstop\nisready\n";
    const EngineRun run = run_checked(input);
    expect_clean(run);

    const std::vector<SearchReply> replies = search_replies(run.output);
    // Then the five searches of each of the three bench runs, and one more search.
    ASSERT_EQ(replies.size(), static_cast<std::size_t>(searches + quick_searches + 3 * 5 + 1));
    const Board start = board_from_fen(START_FEN);
    for (int i = 0; i < searches; ++i) {
        SCOPED_TRACE(gos[i]);
        EXPECT_TRUE(replies[i].info.empty());
        EXPECT_EQ(replies[i].best, "0000");
    }
    for (int i = 0; i < quick_searches; ++i) {
        SCOPED_TRACE(quick[i]);
        expect_sound_reply(replies[searches + i], start);
        EXPECT_NE(replies[searches + i].best, "0000");
    }
    expect_sound_reply(replies.back(), start);
    EXPECT_NE(replies.back().best, "0000");
    // Only "uci" and "isready" as whole lines answer; the perft variants run depth 1.
    EXPECT_EQ(count_lines(run.output, "uciok"), 0);
    EXPECT_EQ(count_lines(run.output, "readyok"), 1);
    EXPECT_EQ(count_lines(run.output, "Total: "), 6);
    EXPECT_EQ(count_lines(run.output, "=== Bench ==="), 3);
    EXPECT_EQ(split_lines(run.output).back(), "readyok");
}

// Depth limits beyond the deepest iteration, where the tree is small enough to get there.
TEST(Hostile, DepthBeyondTheLimit)
{
    const std::string kings = "position fen k7/8/8/8/8/8/8/K7 w - - 0 1\n";
    const EngineRun run = run_checked(kings + "go depth 200\n" + kings + "go depth 2147483647\n");
    expect_clean(run);
    const std::vector<SearchReply> replies = search_replies(run.output);
    ASSERT_EQ(replies.size(), 2u);
    for (const SearchReply& reply : replies) {
        ASSERT_FALSE(reply.info.empty());
        EXPECT_TRUE(starts_with(reply.info.back(), "info depth 127 ")) << reply.info.back();
        expect_sound_reply(reply, board_from_fen("k7/8/8/8/8/8/8/K7 w - - 0 1"));
    }
}

TEST(Hostile, HundredsOfIllegalMoveTokens)
{
    std::string line = "position startpos moves";
    for (int i = 0; i < 300; ++i)
        line += " e2e5 a1a1 e7e8q h9h9 e2e4e2e4 0000 @@@@ e1g1";
    line += " e2e4";
    for (int i = 0; i < 300; ++i)
        line += " e2e4 e7e7";
    line += " e7e5";
    const EngineRun run = run_checked(line + "\nd\ngo depth 2\n");
    expect_clean(run);
    Board expected
        = board_from_fen("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
    // The diagram shows the same position, whatever its history.
    const std::string d = run.output.substr(0, run.output.find("50-move:"));
    EXPECT_NE(d.find("Side: white\nCastling: KQkq\nEP square: e6\n"), std::string::npos);
    const std::vector<SearchReply> replies = search_replies(run.output);
    ASSERT_EQ(replies.size(), 1u);
    expect_sound_reply(replies[0], expected);
}

// 5,000 plies of a legal game on one line, then a search from its end.
TEST(Hostile, FiveThousandPlyGame)
{
    const LongGame game     = random_long_game(5000, 2026);
    const Board& b          = game.board;
    const std::string& line = game.line;
    const EngineRun run     = run_checked(line + "\ngo depth 3\nd\ngo depth 1\nisready\n");
    expect_clean(run);
    const std::vector<SearchReply> replies = search_replies(run.output);
    ASSERT_EQ(replies.size(), 2u);
    expect_sound_reply(replies[0], b);
    expect_sound_reply(replies[1], b);
    char hash_line[64];
    std::snprintf(
        hash_line, sizeof hash_line, "Hash: %016llx\n", static_cast<unsigned long long>(b.hash));
    EXPECT_NE(run.output.find(hash_line), std::string::npos);
}

TEST(Hostile, LargestHashThenNewGameAndSearch)
{
    const EngineRun run = run_checked("setoption name Hash value 2048\nucinewgame\n"
                                      "position startpos moves e2e4\ngo depth 4\nisready\n"
                                      "setoption name Hash value 1\nucinewgame\ngo depth 2\n");
    expect_clean(run);
    const std::vector<SearchReply> replies = search_replies(run.output);
    ASSERT_EQ(replies.size(), 2u);
    expect_sound_reply(
        replies[0], board_from_fen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
    expect_sound_reply(replies[1], board_from_fen(START_FEN));
}

// A directory, a 2 GB sparse file and other files that are no book: the book stays off and
// the engine searches.
TEST(Hostile, BookFilesThatAreNoBooks)
{
    char dir[] = "/tmp/vantorel_hostile_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string sparse = std::string(dir) + "/sparse.bin";
    const int fd             = open(sparse.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(1) << 31), 0);
    close(fd);
    const std::string odd = std::string(dir) + "/odd.bin";
    std::FILE* file       = std::fopen(odd.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite("0123456789abcdefX", 1, 17, file);
    std::fclose(file);

    const std::string paths[] = { dir, std::string(dir) + "/", sparse, odd,
        std::string(dir) + "/missing.bin", "/dev/null", "/proc/self/status", "" };
    std::string input;
    for (const std::string& path : paths)
        input += "setoption name OwnBook value true\nsetoption name BookFile value " + path
            + "\nsetoption name OwnBook value true\nposition startpos\ngo depth 1\n";
    const EngineRun run = run_checked(input + "isready\n");
    unlink(sparse.c_str());
    unlink(odd.c_str());
    rmdir(dir);

    expect_clean(run);
    const std::vector<SearchReply> replies = search_replies(run.output);
    ASSERT_EQ(replies.size(), sizeof paths / sizeof paths[0]);
    for (const SearchReply& reply : replies) {
        // No book move: a search, with its info line.
        EXPECT_FALSE(reply.info.empty());
        expect_sound_reply(reply, board_from_fen(START_FEN));
    }
}

TEST(Hostile, StopQuitAndEndOfInput)
{
    // stop and quit with no search running.
    EXPECT_EQ(run_checked("stop\nstop\nisready\nstop\nquit\nisready\n").output, "readyok\n");
    EXPECT_EQ(run_checked("quit\n").exit_status, 0);
    EXPECT_EQ(run_checked("quit").exit_status, 0);

    // An open-ended search ends with its bestmove when the input ends, stops or quits.
    for (const char* input : { "go infinite\n", "go infinite", "go infinite\nstop\n",
             "go infinite\nisready\nstop\nisready\n", "go infinite\nquit\n",
             "position startpos moves e2e4\ngo infinite\n\n\n" }) {
        SCOPED_TRACE(input);
        const EngineRun run = run_checked(input);
        expect_clean(run);
        const std::vector<SearchReply> replies = search_replies(run.output);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_NE(replies[0].best, "0000");
    }
}

// "quit" while more input keeps arriving: the input reader used to push lines into a queue that
// the exiting program had already destroyed (heap-use-after-free under AddressSanitizer).
TEST(Hostile, QuitWhileInputKeepsArriving)
{
    std::string flood = "quit\n";
    for (int i = 0; i < 100000; ++i)
        flood += "isready\n";
    for (int run = 0; run < 4; ++run) {
        const EngineRun r = run_checked(flood);
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(r.exit_status, 0);
    }
}

TEST(Hostile, NoLegalMoves)
{
    const std::vector<std::string> fens = {
        "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", // checkmate
        "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", // stalemate
        "8/8/8/8/8/8/8/8 w - - 0 1", // nothing at all
        "8/8/8/8/8/8/8/7k w - - 0 1", // no white piece
    };
    for (const char* go : { "go depth 3", "go movetime 20", "go", "go infinite" })
        expect_searches_sound(fens, go);
    const EngineRun run = run_checked("position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1\ngo depth 5\n");
    EXPECT_EQ(run.output, "bestmove 0000\n");
}

// Boards no game can reach, through every command that reads a board.
TEST(Hostile, ImpossibleBoards)
{
    const std::vector<std::string> fens = {
        "8/8/8/8/8/8/8/4K3 w - - 0 1", // no black king
        "4k3/8/8/8/8/8/8/8 w - - 0 1", // no white king, White to move
        "4k3/8/8/8/8/8/8/8 b - - 0 1",
        "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w KQkq - 0 1", // no queens
        "QQQQkQQQ/8/8/8/8/8/8/QQQQKQQQ b - - 0 1", // many queens, Black in check
        "4k3/8/8/QQQ5/QQQ5/QQQ5/8/4K3 w - - 0 1", // nine queens
        "4k3/8/8/qqq5/qqq5/qqq5/8/4K3 w - - 0 1",
        "NNNNNNNN/NNNNNNNN/8/8/8/8/nnnnnnnn/nnnnnnnn w - - 0 1", // 32 knights, no king
        "NNNNNNNN/NNNNNNNN/8/3k4/8/3K4/nnnnnnnn/nnnnnnnn b - - 0 1",
        "PPPPPPPP/8/8/3k4/8/3K4/8/pppppppp w - - 0 1", // pawns on the back ranks
        "pppppppp/8/8/3k4/8/3K4/8/PPPPPPPP b - - 0 1",
        "4k3/4Q3/8/8/8/8/8/4K3 w - - 0 1", // the side not to move is in check
        "4k3/8/8/8/8/8/4q3/4K3 b - - 0 1",
        "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
        "4k3/8/8/8/8/8/8/4K3 w KQkq e6 0 1", // rights and en passant that cannot be
        "KKKKKKKK/kkkkkkkk/8/8/8/8/8/8 w - - 0 1",
        "k7/8/8/8/8/8/8/KQQQQQQQ b - - 100 1",
        "kr6/8/8/8/8/8/8/KR6 w - - 0 1",
        // Half-move clocks that promise more history than the board keeps.
        "r3k3/8/8/8/8/8/8/4K2R w - - 99 80",
        "r3k3/8/8/8/8/8/8/4K2R b - - 98 80",
        "r3k3/8/8/8/8/8/8/4K2R w - - 999999999999 1",
        "r3k3/8/8/8/8/8/8/4K2R w - - -50 -1",
    };
    std::string input;
    for (const std::string& fen : fens)
        input += "position fen " + fen + "\nd\neval\nperft 2\ndupcheck\nillegalcheck\n";
    const EngineRun run = run_checked(input + "isready\n");
    expect_clean(run);
    const int n = static_cast<int>(fens.size());
    EXPECT_EQ(count_lines(run.output, "Total: "), n);
    EXPECT_EQ(count_lines(run.output, "=== Evaluation Trace ==="), n);
    EXPECT_EQ(count_lines(run.output, "Total pseudo-legal: "), n);
    EXPECT_EQ(count_lines(run.output, "DUPLICATE"), 0);
    EXPECT_EQ(count_lines(run.output, "No illegal moves found"), n);
    EXPECT_EQ(split_lines(run.output).back(), "readyok");

    expect_searches_sound(fens, "go depth 3");
    expect_searches_sound(fens, "go wtime 200 btime 200");
}

} // namespace
