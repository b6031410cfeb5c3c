#include "uci/bench.h"

#include <cstdio>

#include <memory>

#include "platform/clock.h"
#include "uci/go.h"

const char* const BENCH_FENS[5] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
};

void run_bench(Engine& engine, int depth, int threads)
{
    depth = depth < 1 ? BENCH_DEPTH : depth > MAX_SEARCH_DEPTH ? MAX_SEARCH_DEPTH : depth;
    ThreadPool& pool       = engine.pool;
    const int game_threads = thread_count(pool);
    set_thread_count(pool, threads);
    const int bench_threads = thread_count(pool);
    SearchSetup setup       = search_setup(engine);
    setup.multipv           = 1;
    setup.strength_elo      = 0;
    SearchLimits limits     = {};
    limits.depth            = depth;
    const auto board        = std::make_unique<Board>();
    // Pages the table has never used would be mapped inside the timed part.
    tt_zero(engine.tt);
    const std::uint64_t start = now_ms();
    std::uint64_t total       = 0;
    for (const char* fen : BENCH_FENS) {
        parse_fen(*board, fen);
        clear_search_history(pool);
        tt_clear(engine.tt);
        engine.tt.generation      = 0;
        const SearchResult result = think(pool, engine.tt, *board, limits, setup,
            { nullptr,
                [](void* context, const SearchInfo& info) {
                    print_info(*static_cast<const Engine*>(context), info);
                },
                nullptr, &engine });
        print_bestmove(*board, result.best_move, NO_MOVE, false);
        total += result.nodes;
    }
    const auto elapsed = static_cast<long long>(now_ms() - start);
    set_thread_count(pool, game_threads);
    const unsigned long long nps
        = elapsed > 0 ? total * 1000 / static_cast<std::uint64_t>(elapsed) : 0;
    std::printf("\n=== Bench ===\n");
    std::printf("Depth   : %d\n", depth);
    if (bench_threads > 1)
        std::printf("Threads : %d\n", bench_threads);
    std::printf("Nodes   : %llu\n", static_cast<unsigned long long>(total));
    std::printf("Time    : %lld ms\n", elapsed);
    std::printf("NPS     : %llu\n", nps);
    std::fflush(stdout);
}
