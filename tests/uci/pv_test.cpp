// Search output as a GUI reads it, from a bench run of the real executable: one info line per
// completed depth, a principal variation of legal moves only, and nothing after bestmove.
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
constexpr int POSITIONS   = 5;
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

// Plays `moves` from `fen`; the index of the first move the engine's own parser rejects, or -1.
int first_rejected_move(const char* fen, const std::vector<std::string>& moves)
{
    Board board = board_from_fen(fen);
    for (std::size_t i = 0; i < moves.size(); ++i) {
        const Move move = uci_to_move(board, moves[i]);
        if (move == NO_MOVE)
            return static_cast<int>(i);
        make_move(board, move);
    }
    return -1;
}

TEST(SearchOutput, BenchInfoLinesAndPrincipalVariations)
{
    const EngineRun run                  = run_engine("", "bench " + std::to_string(BENCH_DEPTH));
    const std::vector<std::string> lines = split_lines(run.output);
    ASSERT_EQ(run.exit_status, 0);

    int position       = 0;
    int expected_depth = 1;
    std::string first_pv_move;
    unsigned long long last_nodes = 0, nodes_total = 0;
    std::size_t i = 0;
    for (; i < lines.size() && position < POSITIONS; ++i) {
        const std::string& line = lines[i];
        std::smatch match;
        SCOPED_TRACE("position " + std::to_string(position + 1) + ": " + line);
        if (std::regex_match(line, match, INFO_LINE)) {
            EXPECT_EQ(std::stoi(match[1]), expected_depth++);
            EXPECT_GE(std::stoi(match[2]), 1);
            const std::vector<std::string> pv = words(match[8]);
            EXPECT_EQ(first_rejected_move(BENCH_POSITIONS[position], pv), -1);
            first_pv_move = pv.front();
            last_nodes    = std::stoull(match[5]);
        } else if (std::regex_match(line, match, BESTMOVE_LINE)) {
            // Every depth up to the bench depth completes, and the last one names the move.
            EXPECT_EQ(expected_depth, BENCH_DEPTH + 1);
            EXPECT_EQ(match[1], first_pv_move);
            nodes_total += last_nodes;
            ++position;
            expected_depth = 1;
        } else {
            ADD_FAILURE() << "not an info or bestmove line";
        }
    }
    ASSERT_EQ(position, POSITIONS);

    // After the last bestmove only the summary, whose node total is the searches' own count.
    ASSERT_EQ(lines.size() - i, 6u) << run.output;
    EXPECT_EQ(lines[i], "");
    EXPECT_EQ(lines[i + 1], "=== Bench ===");
    EXPECT_EQ(lines[i + 2], "Depth   : " + std::to_string(BENCH_DEPTH));
    EXPECT_EQ(lines[i + 3], "Nodes   : " + std::to_string(nodes_total));
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
