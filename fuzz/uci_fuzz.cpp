// uci_fuzz: any text as command lines for the dispatcher, on an engine of its own.
//
// Lines end at "\n" or "\r". Commands are bounded so that one input stays fast: every search
// gets " depth 2" appended (the last keyword wins), bench runs at depth 1 or 2, perft at most
// at depth 2 on at most 3 threads, the suite is skipped, Hash stays at most 8 MB, Threads at
// most 3, BookFile names either a small test book or a missing file, and SyzygyPath either
// the test tables (loaded at the start of every input) or none. After every command: a
// consistent board and well-formed output; after every go: the checks of check_search_reply, and
// the game board as it was.
#include <cstdint>

#include "fuzz_support.h"
#include "search/strength.h"

namespace {

constexpr int MAX_LINES    = 128;
constexpr int MAX_SEARCHES = 16;

Engine* engine;
bool tables_changed = true; // the test tables are to be loaded again
Board before;
char book_path[]    = "/tmp/vantorel_uci_fuzz_XXXXXX";
const char* no_book = "/nonexistent/vantorel/book.bin";

// Start position: e2e4, d2d4 (weight 0) and e1e8, which is illegal there.
void write_test_book()
{
    const std::uint64_t key = polyglot_key(board_from_fen(START_FEN));
    const std::string book
        = book_record(key, "e2e4", 3) + book_record(key, "d2d4", 0) + book_record(key, "e1e8", 5);
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
        const int depth   = parse_int(std::string_view(line).substr(5));
        const int threads = parse_int(std::string_view(line).substr(line.find(' ', 6) + 1));
        line              = "bench " + std::to_string(depth < 1 || depth > 2 ? 1 : depth) + " "
            + std::to_string(threads > 3 ? 3 : threads);
    } else if (starts_with(line, "setoption")) {
        const std::size_t value = line.find("value");
        if (line.find("BookFile") != std::string::npos) {
            line = std::string("setoption name BookFile value ")
                + (line.size() % 2 ? book_path : no_book);
        } else if (line.find("SyzygyPath") != std::string::npos) {
            line = std::string("setoption name SyzygyPath value ")
                + (line.size() % 2 ? TEST_DATA_DIR "/syzygy" : "<empty>");
            tables_changed = true;
        } else if ((line.find("Hash") != std::string::npos
                       || line.find("Threads") != std::string::npos)
            && value != std::string::npos) {
            const int most = line.find("Hash") != std::string::npos ? 8 : 3;
            int number     = parse_int(std::string_view(line).substr(value + 5));
            number         = number > most ? most : number < -5 ? -5 : number;
            line           = line.substr(0, value + 5) + " " + std::to_string(number);
        }
    }
    return true;
}

} // namespace

void run(const std::string& line) { execute_command(*engine, nullptr, line); }

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    test_engine(); // the tables
    engine = new Engine();
    init_engine(*engine);
    run("setoption name Hash value 1");
    capture_stdout();
    write_test_book();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A fresh game: start position, empty tables, default options, no book.
    run("setoption name UCI_Chess960 value false");
    run("ucinewgame");
    run("setoption name Style value PeSTO");
    run("setoption name Threads value 1");
    run("setoption name BookFile value " + std::string(no_book));
    if (tables_changed)
        run("setoption name SyzygyPath value " TEST_DATA_DIR "/syzygy");
    tables_changed = false;
    run("setoption name SyzygyProbeDepth value 1");
    run("setoption name Syzygy50MoveRule value true");
    run("setoption name SyzygyProbeLimit value 7");
    take_output();
    const Board& board = engine->board;

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    int lines = 0, searches = 0;
    for (std::size_t start = 0; start < input.size() && lines < MAX_LINES; ++lines) {
        std::size_t end = input.find_first_of("\r\n", start);
        end             = end == std::string_view::npos ? input.size() : end;
        std::string line(input.substr(start, end - start));
        start = end + 1;
        if (line == "quit")
            break;
        const bool search = starts_with(line, "go");
        searches += search ? 1 : starts_with(line, "bench") ? 5 : 0;
        if (!bound_line(line)
            || (searches > MAX_SEARCHES && (search || starts_with(line, "bench"))))
            continue;

        before = board;
        run(line);
        const std::string out = take_output();
        if (!board_is_consistent(board) || board.undo_count > UNDO_CAPACITY - 128)
            fuzz_fail("the board is inconsistent or full after", line);
        if (search && !same_board(before, board))
            fuzz_fail("go changed the game board", line);
        if (search)
            expect_ok(
                check_search_reply(board, out, is_weakened(search_setup(*engine).strength_elo)),
                out);
    }
    return 0;
}
