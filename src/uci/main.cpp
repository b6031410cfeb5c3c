#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/engine.h"
#include "movegen/perft.h"
#include "uci/bench.h"
#include "uci/datagen.h"
#include "uci/text.h"
#include "uci/uci.h"

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    init_tables();
    const auto engine = std::make_unique<Engine>();
    init_engine(*engine);

    int status = 0;
    if (argc > 1 && std::strcmp(argv[1], "bench") == 0)
        run_bench(*engine, argc > 2 ? parse_int(argv[2]) : BENCH_DEPTH,
            argc > 3 ? parse_int(argv[3]) : 1);
    else if (argc > 1 && std::strcmp(argv[1], "perfttest") == 0)
        run_perft_suite();
    else if (argc > 1 && std::strcmp(argv[1], "datagen") == 0)
        status = run_datagen(*engine, argc - 2, argv + 2);
    else if (argc > 2 && std::strcmp(argv[1], "datastats") == 0)
        status = run_datastats(argv[2]);
    else
        uci_loop(*engine);
    free_engine(*engine);
    return status;
}
