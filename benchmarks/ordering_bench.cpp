// ordering_bench.cpp: cost of one exchange evaluation and of one fully drained move picker
// over a fixed set of middle-game positions.
#include <iterator>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/engine.h"
#include "movegen/movegen.h"
#include "search/move_picker.h"
#include "search/see.h"
#include "uci/bench.h"

namespace {

// Measured after the bench positions.
const char* const MIDDLE_GAMES[] = {
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r1bq1rk1/pp2nppp/2n1p3/3pP3/1b1P4/2NB1N2/PP3PPP/R1BQK2R w KQ - 0 9",
    "2r2rk1/1bqnbppp/pp1ppn2/8/2PNP3/1PN1BP2/P2QB1PP/2RR2K1 b - - 0 15",
    "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
    "r2q1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QK2R w KQ - 0 9",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN1BQ2/PPP2PPP/R4RK1 w - - 0 12",
    "3r1rk1/p1q2ppp/1pn1pn2/2bp4/2P5/P1NBPN2/1PQ2PPP/R4RK1 b - - 0 14",
};

OrderingTables tables; // all zero

struct Prepared {
    std::vector<Board> boards;
    std::vector<std::pair<int, Move>> captures; // board index, capture or promotion
};

const Prepared& prepared()
{
    static const Prepared data = [] {
        init_tables();
        Prepared p;
        std::vector<const char*> fens(std::begin(BENCH_FENS), std::end(BENCH_FENS));
        fens.insert(fens.end(), std::begin(MIDDLE_GAMES), std::end(MIDDLE_GAMES));
        for (const char* fen : fens) {
            Board board;
            parse_fen(board, fen);
            p.boards.push_back(board);
        }
        for (size_t i = 0; i < p.boards.size(); ++i) {
            MoveList list;
            generate_captures(p.boards[i], list);
            for (int k = 0; k < list.count; ++k)
                p.captures.push_back({ int(i), list.moves[k] });
        }
        return p;
    }();
    return data;
}

// One iteration is one see call; the reported time is nanoseconds per call.
void bm_see(benchmark::State& state)
{
    const Prepared& p = prepared();
    size_t i          = 0;
    for (auto _ : state) {
        const auto& [board, move] = p.captures[i];
        benchmark::DoNotOptimize(see(p.boards[board], move));
        if (++i == p.captures.size())
            i = 0;
    }
    state.counters["captures"] = double(p.captures.size());
}
BENCHMARK(bm_see);

// One iteration drains a picker completely (hash move, captures, quiets, losing captures).
void bm_move_picker_drain(benchmark::State& state)
{
    const Prepared& p   = prepared();
    size_t i            = 0;
    std::int64_t handed = 0;
    for (auto _ : state) {
        const Board& board = p.boards[i];
        MovePicker picker;
        init_move_picker(picker, tables, in_check(board, board.side), NO_MOVE, 0, EMPTY, 0);
        for (Move m; (m = next_move(picker, board, false)) != NO_MOVE;)
            ++handed;
        if (++i == p.boards.size())
            i = 0;
    }
    state.counters["moves_per_node"]
        = benchmark::Counter(double(handed) / double(state.iterations()));
}
BENCHMARK(bm_move_picker_drain);

// Most nodes stop after the first few moves: cost of handing out the first one only.
void bm_move_picker_first(benchmark::State& state)
{
    const Prepared& p = prepared();
    size_t i          = 0;
    for (auto _ : state) {
        const Board& board = p.boards[i];
        MovePicker picker;
        init_move_picker(picker, tables, in_check(board, board.side), NO_MOVE, 0, EMPTY, 0);
        benchmark::DoNotOptimize(next_move(picker, board, false));
        if (++i == p.boards.size())
            i = 0;
    }
}
BENCHMARK(bm_move_picker_first);

} // namespace
