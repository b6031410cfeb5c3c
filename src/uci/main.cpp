#include <cstdio>
#include <cstring>

#include "movegen/perft.h"
#include "search/threads.h"
#include "search/tt.h"
#include "uci/bench.h"
#include "uci/text.h"
#include "uci/uci.h"

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    init_engine();

    if (argc > 1 && std::strcmp(argv[1], "bench") == 0)
        run_bench(argc > 2 ? parse_int(argv[2]) : BENCH_DEPTH, argc > 3 ? parse_int(argv[3]) : 1);
    else if (argc > 1 && std::strcmp(argv[1], "perfttest") == 0)
        run_perft_suite();
    else
        uci_loop();
    set_thread_count(1);
    tt_free();
    return 0;
}
