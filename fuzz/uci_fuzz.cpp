// uci_fuzz: any text as a sequence of command lines for the dispatcher, on a fresh game board.
//
// Lines end at "\n" or "\r", as the input reader splits them. A few commands are bounded so
// that one input stays fast: every search gets " depth 2" appended (the last keyword wins),
// bench runs at depth 1 or 2, perft at most at depth 2, the suite is skipped, Hash stays at
// most 8 MB and BookFile names either a small test book or a missing file.
//
// After every command: the board invariants, and well-formed output. After every go: nothing
// but info lines and one final bestmove line, every PV move legal in turn, the best move legal
// (or 0000 exactly when there is none), and the game board as it was.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "book/polyglot.h"
#include "fuzz_support.h"
#include "movegen/movegen.h"
#include "search/tt.h"
#include "uci/uci.h"

namespace {

constexpr int MAX_LINES    = 128;
constexpr int MAX_SEARCHES = 16;

Board board;
Board before;
Board replay;
char book_path[]    = "/tmp/vantorel_uci_fuzz_XXXXXX";
const char* no_book = "/nonexistent/vantorel/book.bin";

void append_record(std::string& book, std::uint64_t key, const char* move, int weight)
{
    const int from           = (move[0] - 'a') | ((move[1] - '1') << 3);
    const int to             = (move[2] - 'a') | ((move[3] - '1') << 3);
    const std::uint64_t word = static_cast<std::uint64_t>(to | (from << 6));
    for (int b = 7; b >= 0; --b)
        book.push_back(static_cast<char>(key >> (8 * b)));
    book.push_back(static_cast<char>(word >> 8));
    book.push_back(static_cast<char>(word));
    book.push_back(static_cast<char>(weight >> 8));
    book.push_back(static_cast<char>(weight));
    book.append(4, '\0');
}

// Start position: e2e4, d2d4 (weight 0) and e1e8, which is illegal there.
void write_test_book()
{
    Board start;
    parse_fen(start, START_FEN);
    const std::uint64_t key = polyglot_key(start);
    std::string book;
    append_record(book, key, "e2e4", 3);
    append_record(book, key, "d2d4", 0);
    append_record(book, key, "e1e8", 5);
    const int fd = mkstemp(book_path);
    if (fd < 0 || write(fd, book.data(), book.size()) != static_cast<ssize_t>(book.size()))
        fuzz_fail("cannot write the test book");
    close(fd);
    std::atexit([] { unlink(book_path); });
}

bool starts_with(std::string_view text, std::string_view word)
{
    return text.substr(0, word.size()) == word;
}

// The line as the harness lets it through, or false to skip it.
bool bound_line(std::string& line)
{
    if (starts_with(line, "go")) {
        line += " depth 2";
    } else if (line == "perfttest") {
        return false;
    } else if (starts_with(line, "perft")) {
        if (parse_int(std::string_view(line).substr(5)) > 2)
            line = "perft 2";
    } else if (starts_with(line, "bench")) {
        const int depth = parse_int(std::string_view(line).substr(5));
        if (depth < 1 || depth > 2)
            line = "bench 1";
    } else if (starts_with(line, "setoption")) {
        const std::size_t value = line.find("value");
        if (line.find("BookFile") != std::string::npos) {
            line = std::string("setoption name BookFile value ")
                + (line.size() % 2 ? book_path : no_book);
        } else if (line.find("Hash") != std::string::npos && value != std::string::npos) {
            int megabytes = parse_int(std::string_view(line).substr(value + 5));
            megabytes     = megabytes > 8 ? 8 : megabytes < -5 ? -5 : megabytes;
            line          = line.substr(0, value + 5) + " " + std::to_string(megabytes);
        }
    }
    return true;
}

std::vector<std::string_view> output_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

// Plays the PV of an info line on a copy of the position; every move must be legal in turn.
void check_pv(std::string_view line, std::string_view text)
{
    const std::size_t at = line.find(" pv");
    if (at == std::string_view::npos)
        fuzz_fail("info line without a pv", text);
    std::string_view moves = line.substr(at + 3);
    replay                 = board;
    int plies              = 0;
    while (!moves.empty()) {
        if (moves[0] != ' ')
            fuzz_fail("malformed pv", text);
        moves.remove_prefix(1);
        const std::string_view token = moves.substr(0, moves.find(' '));
        const Move move              = uci_to_move(replay, token);
        if (move == NO_MOVE)
            fuzz_fail("illegal move in a pv", text);
        if (replay.undo_count >= UNDO_CAPACITY - 1 || ++plies > 256)
            fuzz_fail("pv too long", text);
        make_move(replay, move);
        moves.remove_prefix(token.size());
    }
}

void check_search_output(std::string_view text)
{
    const std::vector<std::string_view> lines = output_lines(text);
    if (lines.empty() || !starts_with(lines.back(), "bestmove "))
        fuzz_fail("go did not end with a bestmove line", text);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!starts_with(lines[i], "info depth "))
            fuzz_fail("unexpected line in search output", text);
        check_pv(lines[i], text);
    }
    const std::string_view best = lines.back().substr(9);
    MoveList legal;
    generate_legal_moves(board, legal);
    if (best == "0000") {
        if (legal.count != 0)
            fuzz_fail("bestmove 0000 with legal moves on the board", text);
    } else if (best.find(' ') != std::string_view::npos || uci_to_move(board, best) == NO_MOVE) {
        fuzz_fail("illegal bestmove", text);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    init_engine();
    tt_resize(1);
    capture_stdout();
    write_test_book();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A fresh game: start position, empty tables, default options, no book.
    parse_fen(board, START_FEN);
    execute_command("ucinewgame", board);
    execute_command("setoption name Style value PeSTO", board);
    execute_command("setoption name BookFile value " + std::string(no_book), board);
    own_book = 0;
    take_output();

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    int lines = 0, searches = 0;
    for (std::size_t start = 0; start < input.size() && lines < MAX_LINES; ++lines) {
        std::size_t end = input.find_first_of("\r\n", start);
        end             = end == std::string_view::npos ? input.size() : end;
        std::string line(input.substr(start, end - start));
        start = end + 1;
        if (line == "quit")
            break;
        // A bench runs five searches.
        const bool search = starts_with(line, "go");
        const int cost    = search ? 1 : starts_with(line, "bench") ? 5 : 0;
        searches += cost;
        if (!bound_line(line) || (cost > 0 && searches > MAX_SEARCHES))
            continue;

        before = board;
        execute_command(line, board);
        const std::string out = take_output();
        check_output_lines(out);
        check_board(board, "after a command");
        if (search) {
            if (!same_position(before, board))
                fuzz_fail("go changed the game board", line);
            check_search_output(out);
        }
    }
    return 0;
}
