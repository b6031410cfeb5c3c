// End to end through the real executable: each file of tests/data/uci/ is one engine run.
//
//   # comment          > line      input, sent with "\n"      >> text    input, no line end
//   ...                any number of output lines             other      one output line
//   >|                 the input ends here, before the searches answer (else it stays open
//                      until every search has answered, as a GUI keeps it open)
// In input, \r \n \t \0 \\ and \xHH stand for their bytes, {TEXT*N} for TEXT N times and
// $DATA for the test data folder.
// In output, a word "*" matches any one word (timings). Every run must also exit with 0,
// print nothing on standard error, print well-formed lines, and answer each go (five for a
// bench) with legal principal variations and a legal bestmove, checked on the position that
// the same input gives the library's own position command.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "checks.h"

namespace {

std::string unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c == '0' ? '\0' : c;
        }
    }
    return out;
}

std::string expand(std::string text)
{
    for (std::size_t open; (open = text.find('{')) != std::string::npos;) {
        const std::size_t close = text.find('}', open);
        const std::size_t star  = text.rfind('*', close);
        std::string repeated;
        for (int n = std::stoi(text.substr(star + 1, close - star - 1)); n > 0; --n)
            repeated += text.substr(open + 1, star - open - 1);
        text.replace(open, close - open + 1, repeated);
    }
    for (std::size_t at; (at = text.find("$DATA")) != std::string::npos;)
        text.replace(at, 5, TEST_DATA_DIR);
    return unescape(text);
}

bool line_matches(const std::string& expected, const std::string& actual)
{
    if (expected.find('*') == std::string::npos)
        return expected == actual;
    std::istringstream e(expected), a(actual);
    std::string ew, aw;
    while (e >> ew)
        if (!(a >> aw) || (ew != "*" && ew != aw))
            return false;
    return !(a >> aw);
}

// Expected lines against the output; "..." skips lines up to the next one that matches.
std::string compare(const std::vector<std::string>& expected, const std::vector<std::string>& out)
{
    std::size_t o = 0;
    for (std::size_t e = 0; e < expected.size(); ++e) {
        if (expected[e] == "...") {
            if (e + 1 == expected.size())
                return "";
            while (o < out.size() && !line_matches(expected[e + 1], out[o]))
                ++o;
            continue;
        }
        if (o >= out.size())
            return "missing output: " + expected[e];
        if (!line_matches(expected[e], out[o]))
            return "line " + std::to_string(o + 1) + ": expected '" + expected[e] + "', got '"
                + out[o] + "'";
        ++o;
    }
    return o == out.size() ? "" : "unexpected output: " + out[o];
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Lines as the engine's reader cuts them: "\n", "\r" and "\r\n" each end one.
std::vector<std::string> engine_lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    bool after_cr = false;
    for (const char c : bytes) {
        if ((c == '\r' && !line.empty()) || (c == '\n' && !after_cr))
            lines.push_back(line);
        if (c == '\r' || c == '\n')
            line.clear();
        else
            line += c;
        after_cr = c == '\r';
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// The position each search starts from, in input order; bench searches the perft suite's
// first five positions. The board follows UCI_Chess960 as the engine's does.
std::vector<Board> searched_positions(const std::string& input)
{
    std::vector<Board> positions;
    Board board = board_from_fen(START_FEN);
    for (const std::string& line : engine_lines(input)) {
        if (line == "quit")
            break;
        if (line == "ucinewgame")
            parse_fen(board, START_FEN, board.chess960);
        else if (line.rfind("setoption", 0) == 0 && line.find("UCI_Chess960") != line.npos)
            execute_command(line, board);
        else if (line.rfind("position", 0) == 0)
            position_command(line, board);
        else if (line.rfind("go", 0) == 0)
            positions.emplace_back(board);
        else if (line.rfind("bench", 0) == 0)
            for (int i = 0; i < 5; ++i)
                positions.push_back(board_from_fen(PERFT_SUITE[i].fen));
    }
    return positions;
}

std::string check_searches(const std::string& input, const std::vector<std::string>& out)
{
    const auto positions = searched_positions(input);
    std::size_t search   = 0;
    std::string reply;
    for (const std::string& line : out) {
        if (line.rfind("info ", 0) != 0 && line.rfind("bestmove ", 0) != 0)
            continue;
        reply += line + "\n";
        if (line.rfind("bestmove ", 0) != 0)
            continue;
        if (search >= positions.size())
            return "a bestmove without a go: " + line;
        const std::string fault = check_search_reply(positions[search], reply);
        if (!fault.empty())
            return "search " + std::to_string(search + 1) + ": " + fault;
        reply.clear();
        ++search;
    }
    return search == positions.size() && reply.empty() ? "" : "searches without a bestmove";
}

class Transcript : public testing::TestWithParam<std::string> { };

TEST_P(Transcript, Matches)
{
    std::string input;
    std::vector<std::string> expected;
    bool input_ends = false;
    for (const std::string& line : split_lines(read_file(GetParam()))) {
        if (line == ">|")
            input_ends = true;
        else if (line.rfind(">> ", 0) == 0)
            input += expand(line.substr(3));
        else if (line.rfind("> ", 0) == 0)
            input += expand(line.substr(2)) + "\n";
        else if (line.empty() || line[0] != '#')
            expected.push_back(line);
    }
    const int searches  = input_ends ? 0 : static_cast<int>(searched_positions(input).size());
    const EngineRun run = run_engine(input, searches);
    const std::vector<std::string> lines = split_lines(run.output);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.errors.substr(0, 2000), "");
    EXPECT_EQ(check_output_text(run.output), "");
    EXPECT_EQ(check_searches(input, lines), "");
    EXPECT_EQ(compare(expected, lines), "");
}

std::vector<std::string> transcript_files()
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(TEST_DATA_DIR "/uci"))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

INSTANTIATE_TEST_SUITE_P(Files, Transcript, testing::ValuesIn(transcript_files()),
    [](const auto& test) { return std::filesystem::path(test.param).stem().string(); });

} // namespace
