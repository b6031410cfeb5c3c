#include "uci/uci.h"

#include <cstdio>
#include <string>

#include "board/zobrist.h"
#include "eval/eval.h"
#include "movegen/attacks.h"
#include "movegen/diagnostics.h"
#include "movegen/perft.h"
#include "platform/input.h"
#include "search/search.h"
#include "search/think.h"
#include "search/threads.h"
#include "search/tt.h"
#include "uci/bench.h"
#include "uci/go.h"
#include "uci/options.h"
#include "uci/position.h"
#include "uci/text.h"

// The position of the command loop; static for its size.
static Board game_board;

void init_engine()
{
    init_attack_tables();
    init_zobrist();
    init_lmr_table();
    // The defaults include the evaluation tables, which recompute the board's running score.
    parse_fen(game_board, START_FEN);
    apply_default_options(game_board);
    clear_search_history();
}

static void new_game(Board& board)
{
    tt_clear();
    tt_generation = 0;
    clear_search_history();
    parse_fen(board, START_FEN, board.chess960);
}

void execute_command(std::string_view line, Board& board)
{
    if (line == "uci") {
        std::printf("id name Vantorel\n");
        std::printf("id author You\n");
        print_options();
        std::printf("uciok\n");
        std::fflush(stdout);
    } else if (line == "isready") {
        std::printf("readyok\n");
        std::fflush(stdout);
    } else if (line == "ucinewgame") {
        new_game(board);
    } else if (starts_with(line, 0, "position")) {
        position_command(line, board);
    } else if (starts_with(line, 0, "go")) {
        go_command(line, board);
    } else if (starts_with(line, 0, "setoption")) {
        setoption_command(line, board);
    } else if (line == "d") {
        print_board(board);
    } else if (line == "perfttest") {
        run_perft_suite();
    } else if (starts_with(line, 0, "perft")) {
        int depth = parse_int(line.substr(5));
        depth     = depth < 1 ? 1 : depth > MAX_PERFT_DEPTH ? MAX_PERFT_DEPTH : depth;
        perft_divide(board, static_cast<unsigned>(depth));
    } else if (starts_with(line, 0, "bench")) {
        // "bench [depth [threads]]"
        const std::size_t threads_at = skip_word(line, skip_spaces(line, 5));
        run_bench(parse_int(line.substr(5)), parse_int(line.substr(threads_at)));
    } else if (line == "eval") {
        eval_trace(board);
    } else if (line == "dupcheck") {
        dupcheck(board);
    } else if (line == "illegalcheck") {
        illegalcheck(board);
    }
}

void uci_loop()
{
    start_input_reader();
    std::string line;
    while (read_line(line)) {
        if (line == "quit")
            break;
        execute_command(line, game_board);
    }
}
