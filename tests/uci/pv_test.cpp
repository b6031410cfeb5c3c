// Search output as a GUI reads it, from bench runs and games through the real executable: one
// info line per completed depth, a principal variation of legal moves only, nothing after
// bestmove.
#include <gtest/gtest.h>

#include <regex>

#include "support.h"
#include "uci/uci.h"

namespace {

const char* const BENCH_POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
};
constexpr int BENCH_DEPTH = 8;

const std::regex INFO_LINE(
    "info depth (\\d+) seldepth (\\d+) score (cp|mate) (-?\\d+) "
    "nodes (\\d+) nps (\\d+) time (\\d+) pv((?: [a-h][1-8][a-h][1-8][nbrq]?)+)");
const std::regex BESTMOVE_LINE("bestmove ([a-h][1-8][a-h][1-8][nbrq]?)");

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> out;
    std::stringstream stream(text);
    for (std::string word; stream >> word;)
        out.push_back(word);
    return out;
}

// Plays `moves` on a copy of `board`; the index of the first move the engine's own parser
// rejects, or -1.
int first_rejected_move(Board board, const std::vector<std::string>& moves)
{
    for (std::size_t i = 0; i < moves.size(); ++i) {
        const Move move = uci_to_move(board, moves[i]);
        if (move == NO_MOVE)
            return static_cast<int>(i);
        make_move(board, move);
    }
    return -1;
}

struct SearchesSeen {
    std::size_t lines_used         = 0; // the search output ends here
    unsigned long long nodes_total = 0; // the last info line's nodes, summed over searches
};

// Checks the output of one fixed-depth search per board in `roots`, in order: info lines for
// depths 1 to `depth`, each with a principal variation that is legal from the root, then a
// bestmove line with the variation's first move.
SearchesSeen check_searches(
    const std::vector<std::string>& lines, const std::vector<Board>& roots, int depth)
{
    SearchesSeen seen;
    std::size_t search = 0;
    int expected_depth = 1;
    std::string first_pv_move;
    unsigned long long last_nodes = 0;
    std::size_t i                 = 0;
    for (; i < lines.size() && search < roots.size(); ++i) {
        const std::string& line = lines[i];
        std::smatch match;
        SCOPED_TRACE("search " + std::to_string(search + 1) + ": " + line);
        if (std::regex_match(line, match, INFO_LINE)) {
            EXPECT_EQ(std::stoi(match[1]), expected_depth++);
            EXPECT_GE(std::stoi(match[2]), 1);
            const std::vector<std::string> pv = words(match[8]);
            EXPECT_EQ(first_rejected_move(roots[search], pv), -1);
            first_pv_move = pv.front();
            last_nodes    = std::stoull(match[5]);
        } else if (std::regex_match(line, match, BESTMOVE_LINE)) {
            EXPECT_EQ(expected_depth, depth + 1);
            EXPECT_EQ(match[1], first_pv_move);
            seen.nodes_total += last_nodes;
            ++search;
            expected_depth = 1;
        } else {
            ADD_FAILURE() << "not an info or bestmove line";
        }
    }
    EXPECT_EQ(search, roots.size());
    seen.lines_used = i;
    return seen;
}

TEST(SearchOutput, BenchInfoLinesAndPrincipalVariations)
{
    const EngineRun run                  = run_engine("", "bench " + std::to_string(BENCH_DEPTH));
    const std::vector<std::string> lines = split_lines(run.output);
    ASSERT_EQ(run.exit_status, 0);
    std::vector<Board> roots;
    for (const char* fen : BENCH_POSITIONS)
        roots.push_back(board_from_fen(fen));
    const SearchesSeen seen = check_searches(lines, roots, BENCH_DEPTH);

    // After the last bestmove only the summary, whose node total is the searches' own count.
    const std::size_t i = seen.lines_used;
    ASSERT_EQ(lines.size() - i, 6u) << run.output;
    EXPECT_EQ(lines[i], "");
    EXPECT_EQ(lines[i + 1], "=== Bench ===");
    EXPECT_EQ(lines[i + 2], "Depth   : " + std::to_string(BENCH_DEPTH));
    EXPECT_EQ(lines[i + 3], "Nodes   : " + std::to_string(seen.nodes_total));
}

TEST(SearchOutput, PrincipalVariationsThroughAGame)
{
    // A GUI's game: one position command and search per ply, the hash table and the
    // histories carried from move to move. Castling, captures and a pin along the way.
    const std::vector<std::string> game = { "e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "f8c5", "c2c3",
        "g8f6", "d2d4", "e5d4", "c3d4", "c5b4", "b1c3", "f6e4", "e1g1", "e4c3" };
    constexpr int DEPTH                 = 7;
    std::string input                   = "ucinewgame\n";
    std::vector<Board> roots;
    Board board = board_from_fen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    std::string moves;
    for (const std::string& move : game) {
        input += "position startpos" + (moves.empty() ? "" : " moves" + moves) + "\ngo depth "
            + std::to_string(DEPTH) + "\n";
        roots.push_back(board);
        const Move parsed = uci_to_move(board, move);
        ASSERT_NE(parsed, NO_MOVE) << move;
        make_move(board, parsed);
        moves += " " + move;
    }
    const EngineRun run                  = run_engine(input);
    const std::vector<std::string> lines = split_lines(run.output);
    EXPECT_EQ(check_searches(lines, roots, DEPTH).lines_used, lines.size()) << run.output;
}

TEST(SearchOutput, NothingAfterBestmove)
{
    // "isready" sent during a search is answered after it; no info line follows a bestmove.
    const EngineRun run = run_engine("position startpos moves e2e4\ngo depth 4\nisready\n"
                                     "position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1\n"
                                     "go depth 3\nisready\n");
    std::string kinds;
    std::vector<std::string> bestmoves;
    for (const std::string& line : split_lines(run.output)) {
        if (std::regex_match(line, INFO_LINE))
            kinds += 'i';
        else if (std::regex_match(line, BESTMOVE_LINE))
            kinds += 'b', bestmoves.push_back(line);
        else
            kinds += line == "readyok" ? 'r' : 'x';
    }
    EXPECT_EQ(kinds, "iiiibriiibr") << run.output;
    // The back-rank mate is found (at depth 2, once the checked side's reply is searched).
    EXPECT_TRUE(std::regex_search(
        run.output, std::regex("info depth 3 seldepth \\d+ score mate 1 nodes .* pv a1a8\n")))
        << run.output;
    ASSERT_EQ(bestmoves.size(), 2u);
    EXPECT_EQ(bestmoves[1], "bestmove a1a8");
}

} // namespace
