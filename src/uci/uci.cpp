#include "uci/uci.h"

#include <cstdio>
#include <memory>
#include <string>

#include "movegen/diagnostics.h"
#include "movegen/perft.h"
#include "uci/bench.h"
#include "uci/go.h"
#include "uci/options.h"
#include "uci/position.h"
#include "uci/text.h"

// The trace of the style in use: its square values, or its network.
static void eval_command(const Engine& engine)
{
    const auto style = static_cast<EvalStyle>(option_number(engine, OPTION_STYLE));
    const auto board = std::make_unique<Board>(engine.board);
    set_psq_table(*board, psq_table_of(style));
    eval_trace(*board, style == EvalStyle::Neural ? &engine.network : nullptr);
}

void execute_command(Engine& engine, InputQueue* input, std::string_view line)
{
    Board& board = engine.board;
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
        new_game(engine);
    } else if (starts_with(line, 0, "position")) {
        position_command(line, board);
    } else if (starts_with(line, 0, "go")) {
        go_command(engine, input, line);
    } else if (starts_with(line, 0, "setoption")) {
        setoption_command(engine, line);
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
        run_bench(engine, parse_int(line.substr(5)), parse_int(line.substr(threads_at)));
    } else if (line == "eval") {
        eval_command(engine);
    } else if (line == "dupcheck") {
        dupcheck(board);
    } else if (line == "illegalcheck") {
        illegalcheck(board);
    }
}

void uci_loop(Engine& engine)
{
    InputQueue* const input = start_input_reader();
    std::string line;
    while (read_line(input, line)) {
        if (line == "quit")
            break;
        execute_command(engine, input, line);
    }
}
