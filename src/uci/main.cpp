#include <cstdio>
#include <cstring>

#include "movegen/perft.h"
#include "search/threads.h"
#include "search/tt.h"
#include "uci/bench.h"
#include "uci/datagen.h"
#include "uci/text.h"
#include "uci/uci.h"

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    init_engine();

    int status = 0;
    if (argc > 1 && std::strcmp(argv[1], "bench") == 0)
        run_bench(argc > 2 ? parse_int(argv[2]) : BENCH_DEPTH, argc > 3 ? parse_int(argv[3]) : 1);
    else if (argc > 1 && std::strcmp(argv[1], "perfttest") == 0)
        run_perft_suite();
    else if (argc > 1 && std::strcmp(argv[1], "datagen") == 0)
        status = run_datagen(argc - 2, argv + 2);
    else if (argc > 2 && std::strcmp(argv[1], "datastats") == 0)
        status = run_datastats(argv[2]);
    else
        uci_loop();
    set_thread_count(1);
    tt_free();
    return status;
}
