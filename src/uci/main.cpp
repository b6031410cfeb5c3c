#include <cstdio>
#include <cstring>

#include "movegen/perft.h"
#include "search/threads.h"
#include "search/tt.h"
#include "uci/uci.h"

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    init_engine();

    if (argc > 1 && std::strcmp(argv[1], "bench") == 0) {
        Board board;
        parse_fen(board, START_FEN);
        const int depth = argc > 2 ? parse_int(argv[2]) : 10;
        char line[32];
        std::snprintf(line, sizeof line, "bench %d", depth);
        execute_command(line, board);
    } else if (argc > 1 && std::strcmp(argv[1], "perfttest") == 0) {
        run_perft_suite();
    } else {
        uci_loop();
    }
    set_thread_count(1);
    tt_free();
    return 0;
}
