// End to end through the real executable: each file of tests/data/uci/ is one engine run, or
// several, each ended by an @exit line.
//
//   # comment          > line      input, sent with "\n"      >> text    input, no line end
//   ...                any number of info lines, up to the line after it (never last)
//   other              one output line
//   {LINES*N}          the lines LINES (any of these, split at \n) N times
//   >|                 the input ends here; else it stays open until every search has
//                      answered, as a GUI keeps it open
//   @wait N            the next input (or >|) goes N ms after the previous one
//   @wait bestmove     ... once every search so far has answered
//   @wait readyok      ... once every isready so far has been answered
//   LINE @within N     the output line comes at most N ms after the input line (or >|) above
//                      it in the file (the start when there is none), and not before it
//   LINE @after N      ... not before N ms after it; with @within, both hold
//   @exit [@within N]  the program exits here, with status 0 (within N ms of the input above);
//                      what follows is a new run
// Every @within bound is multiplied by the environment's VANTOREL_TIME_SCALE (default 1), which
// CTest sets for the sanitizer builds; @after bounds follow the engine's own clock and stay.
// When nothing waits (no @wait, and >| or no search), the input is a file, read in whole
// blocks; else a pipe written step by step. In input, \r \n \t \0 \\ and \xHH stand for
// their bytes, {TEXT*N} for TEXT N times, $DATA for the test data folder and $MADE for the
// files the build makes for the tests.
// In output, a word "*" matches any one word (timings). Every run must also exit with 0,
// print nothing on standard error, print well-formed lines, answer each isready with exactly
// one readyok, and answer each go (five for a bench) as check_search_reply demands, checked
// on the position that the same input gives the library's own position command.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "checks.h"
#include "uci/options.h"
#include "uci/bench.h"
#include "search/strength.h"

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
    for (std::size_t at; (at = text.find("$MADE")) != std::string::npos;)
        text.replace(at, 5, MADE_DATA_DIR);
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

// The option as the engine reads it, on `board`.
void chess960_setoption(const std::string& line, Board& board)
{
    Engine& engine = test_engine();
    std::swap(engine.board, board);
    setoption_command(engine, line);
    std::swap(engine.board, board);
}

// The position each search starts from, in input order, and whether the strength limit
// weakens it; bench searches the engine's own list. The board follows UCI_Chess960 as the
// engine's does.
struct Searched {
    Board board;
    bool weakened;
};
std::vector<Searched> searched_positions(const std::string& input)
{
    std::vector<Searched> positions;
    Board board    = board_from_fen(START_FEN);
    Engine& engine = test_engine();
    for (const std::string& line : engine_lines(input)) {
        const bool weakened = is_weakened(search_setup(engine).strength_elo);
        if (line == "quit")
            break;
        if (line == "ucinewgame")
            parse_fen(board, START_FEN, board.chess960);
        else if (line.rfind("setoption", 0) == 0 && line.find("UCI_Chess960") != line.npos)
            chess960_setoption(line, board);
        else if (line.rfind("setoption", 0) == 0
            && (line.find("UCI_LimitStrength") != line.npos || line.find("UCI_Elo") != line.npos))
            setoption_command(engine, line);
        else if (line.rfind("position", 0) == 0)
            position_command(line, board);
        else if (line.rfind("go", 0) == 0)
            positions.push_back({ board, weakened });
        else if (line.rfind("bench", 0) == 0)
            for (const char* fen : BENCH_FENS)
                positions.push_back({ board_from_fen(fen), false });
    }
    for (const OptionId id : { OPTION_LIMIT_STRENGTH, OPTION_ELO })
        set_option(engine, id, OPTIONS[id].default_value, "");
    return positions;
}

std::string check_searches(const std::string& input, const std::vector<std::string>& out)
{
    const auto positions = searched_positions(input);
    std::size_t search   = 0;
    std::string reply;
    for (const std::string& line : out) {
        if ((line.rfind("info ", 0) != 0 && line.rfind("bestmove ", 0) != 0)
            || line.rfind("info string ", 0) == 0)
            continue;
        reply += line + "\n";
        if (line.rfind("bestmove ", 0) != 0)
            continue;
        if (search >= positions.size())
            return "a bestmove without a go: " + line;
        const std::string fault
            = check_search_reply(positions[search].board, reply, positions[search].weakened);
        if (!fault.empty())
            return "search " + std::to_string(search + 1) + ": " + fault;
        reply.clear();
        ++search;
    }
    return search == positions.size() && reply.empty() ? "" : "searches without a bestmove";
}

// The bestmove or readyok lines that the input asks for.
int replies_due(const std::string& input, const std::string& reply)
{
    if (reply == "bestmove")
        return static_cast<int>(searched_positions(input).size());
    const auto lines = engine_lines(input);
    return static_cast<int>(
        std::count(lines.begin(), std::find(lines.begin(), lines.end(), "quit"), "isready"));
}

// An expected line, or the @exit line, with its bounds: ms after the input step above it.
struct Expected {
    std::string line; // as written
    std::string text; // without the bounds
    int step      = -1; // -1: timed from the start
    double within = -1, after = -1;
};

struct Script {
    std::vector<InputStep> steps;
    std::string input;
    std::vector<Expected> expected;
    Expected exit;
};

Expected expected_line(const std::string& line, int step)
{
    Expected e { line, line, step };
    for (std::size_t at; (at = e.text.rfind(" @")) != std::string::npos;) {
        std::istringstream bound(e.text.substr(at + 1));
        std::string name, rest;
        double ms = -1;
        if (!(bound >> name >> ms) || bound >> rest || ms < 0
            || (name != "@within" && name != "@after"))
            break;
        (name == "@within" ? e.within : e.after) = ms;
        e.text.resize(at);
    }
    return e;
}

// The file as engine runs; a fault in the file fails the test.
std::vector<Script> read_runs(const std::string& file)
{
    std::vector<Script> runs(1);
    int wait = 0, replies = 0;
    std::string reply;
    std::vector<std::string> lines;
    for (const std::string& line : split_lines(read_file(file)))
        for (const std::string& repeated :
            line[0] == '{' ? split_lines(expand(line)) : std::vector { line })
            lines.push_back(repeated);
    for (const std::string& line : lines) {
        Script& run   = runs.back();
        const bool in = line == ">|" || line.rfind("> ", 0) == 0 || line.rfind(">> ", 0) == 0;
        if (in && !run.steps.empty() && run.steps.back().ends)
            ADD_FAILURE() << "input after the end of input: " << line;
        if (line == ">|")
            run.steps.push_back({ "", wait, true, reply, replies });
        else if (line.rfind(">> ", 0) == 0)
            run.steps.push_back({ expand(line.substr(3)), wait, false, reply, replies });
        else if (line.rfind("> ", 0) == 0)
            run.steps.push_back({ expand(line.substr(2)) + "\n", wait, false, reply, replies });
        else if (line == "@wait bestmove" || line == "@wait readyok")
            replies = replies_due(run.input, reply = line.substr(6));
        else if (line.rfind("@wait ", 0) == 0)
            wait += std::stoi(line.substr(6));
        else if (line.rfind("@exit", 0) == 0 && (line == "@exit" || line[5] == ' '))
            run.exit = expected_line(line, static_cast<int>(run.steps.size()) - 1);
        else if (line[0] == '@')
            ADD_FAILURE() << "unknown directive: " << line;
        else if (line.empty() || line[0] != '#')
            run.expected.push_back(expected_line(line, static_cast<int>(run.steps.size()) - 1));
        if (in) {
            run.input += run.steps.back().bytes;
            wait = replies = 0;
        }
        const bool exit = !run.exit.line.empty();
        if (exit)
            runs.emplace_back();
        if ((exit || &line == &lines.back()) && wait + replies > 0)
            ADD_FAILURE() << "a wait before no input: end the input with >| instead";
    }
    if (runs.back().steps.empty() && runs.back().expected.empty())
        runs.pop_back();
    return runs;
}

// How much slower than an optimised build the engine runs here.
double time_scale()
{
    const char* scale = std::getenv("VANTOREL_TIME_SCALE");
    return scale && std::atof(scale) >= 1 ? std::atof(scale) : 1;
}

// Whether a line (or the exit) at `ms` keeps its bounds.
std::string timing(const Expected& e, double ms, const EngineRun& run)
{
    const double from = e.step < 0 ? 0 : run.step_ms[static_cast<std::size_t>(e.step)];
    if (e.within < 0 && e.after < 0)
        return "";
    if (from < 0)
        return "'" + e.line + "': its input was never sent";
    const double took = ms - from;
    char text[64]     = "";
    if ((e.within >= 0 && (took < 0 || took > e.within * time_scale()))
        || (e.after >= 0 && took < e.after))
        std::snprintf(text, sizeof text, "came %.1f ms after its input", took);
    return *text ? "'" + e.line + "': " + text : "";
}

// Expected lines against the output; "..." skips info lines up to the next one that matches,
// and never a reply such as bestmove or readyok.
std::string compare(const std::vector<Expected>& expected, const EngineRun& run)
{
    const std::vector<std::string> out = split_lines(run.output);
    std::size_t o                      = 0;
    for (std::size_t e = 0; e < expected.size(); ++e) {
        if (expected[e].text == "..." && e + 1 == expected.size())
            return "a run ends with ..., which accepts anything, even nothing";
        if (expected[e].text == "...") {
            for (; o < out.size() && !line_matches(expected[e + 1].text, out[o]); ++o)
                if (out[o].rfind("info ", 0) != 0)
                    return "line " + std::to_string(o + 1)
                        + ": '...' stands for info lines only, not '" + out[o] + "' ("
                        + expected[e + 1].text + " expected)";
            continue;
        }
        if (o >= out.size())
            return "missing output: " + expected[e].line;
        if (!line_matches(expected[e].text, out[o]))
            return "line " + std::to_string(o + 1) + ": expected '" + expected[e].text + "', got '"
                + out[o] + "'";
        const std::string late = timing(expected[e], run.line_ms[o], run);
        if (!late.empty())
            return "line " + std::to_string(o + 1) + " " + late;
        ++o;
    }
    return o == out.size() ? "" : "unexpected output: " + out[o];
}

class Transcript : public testing::TestWithParam<std::string> { };

TEST_P(Transcript, Matches)
{
    int number = 0;
    for (const Script& r : read_runs(GetParam())) {
        SCOPED_TRACE("engine run " + std::to_string(++number));
        std::vector<InputStep> steps = r.steps;
        if (steps.empty() || !steps.back().ends)
            steps.push_back({ "", 0, true, "bestmove", replies_due(r.input, "bestmove") });
        const EngineRun run = run_engine(steps);
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(timing(r.exit, run.exit_ms, run), "");
        EXPECT_EQ(run.errors.substr(0, 2000), "");
        EXPECT_EQ(check_output_text(run.output), "");
        const std::vector<std::string> out = split_lines(run.output);
        EXPECT_EQ(check_searches(r.input, out), "");
        EXPECT_EQ(std::count(out.begin(), out.end(), "readyok"), replies_due(r.input, "readyok"));
        EXPECT_EQ(compare(r.expected, run), "");
    }
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
