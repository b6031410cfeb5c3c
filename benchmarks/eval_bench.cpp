// Micro-benchmarks of the static evaluation over a fixed set of positions from random play.
//
//   build/vantorel_microbench --benchmark_filter='Eval|Pawn|Piece'
//
// "per_eval" is the CPU time per evaluated position. Every benchmark first evaluates all the
// positions, so the evaluation and pawn caches hold them.
#include <benchmark/benchmark.h>

#include <iterator>
#include <vector>

#include "board/board.h"
#include "engine/engine.h"
#include "eval/eval.h"
#include "eval/terms.h"
#include "movegen/movegen.h"
#include "uci/bench.h"

namespace {

// The games start from the bench positions and this middle game.
const char* const MIDDLE_GAME_SEED
    = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";
constexpr int GAMES_PER_SEED     = 5;
constexpr int POSITIONS_PER_GAME = 10; // 300 positions in all
constexpr int PLIES_BETWEEN      = 4;

// The positions are copied into whole Boards once; evaluate reads only their front part.
const std::vector<Board>& positions()
{
    static const std::vector<Board> list = [] {
        init_tables();
        std::vector<Board> result;
        static Board board;
        MoveList moves;
        std::uint64_t rng = 0x2545F4914F6CDD1DULL;
        std::vector<const char*> seeds(std::begin(BENCH_FENS), std::end(BENCH_FENS));
        seeds.push_back(MIDDLE_GAME_SEED);
        for (const char* fen : seeds) {
            for (int game = 0; game < GAMES_PER_SEED; ++game) {
                parse_fen(board, fen);
                for (int taken = 0; taken < POSITIONS_PER_GAME; ++taken) {
                    for (int ply = 0; ply < PLIES_BETWEEN; ++ply) {
                        generate_legal_moves(board, moves);
                        if (moves.count == 0) { // game over: start this line afresh
                            parse_fen(board, fen);
                            generate_legal_moves(board, moves);
                        }
                        rng ^= rng << 13;
                        rng ^= rng >> 7;
                        rng ^= rng << 17;
                        make_move(board, moves.moves[rng % static_cast<unsigned>(moves.count)]);
                    }
                    result.push_back(board);
                }
            }
        }
        return result;
    }();
    return list;
}

// A search thread's evaluation with PeSTO, as the search uses it.
Evaluator& evaluator()
{
    static Evaluator* const fresh = [] {
        auto* made = new Evaluator();
        clear_eval_cache(made->cache);
        return made;
    }();
    return *fresh;
}

template <typename Fn> void run_over_positions(benchmark::State& state, Fn fn)
{
    const std::vector<Board>& list = positions();
    for (const Board& board : list) // warm the caches
        benchmark::DoNotOptimize(evaluate(board, evaluator()));
    for (auto _ : state)
        for (const Board& board : list)
            benchmark::DoNotOptimize(fn(board));
    state.counters["per_eval"]
        = benchmark::Counter(static_cast<double>(state.iterations() * list.size()),
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.size()));
}

// With the positions warm in the evaluation cache: the cost of a hit.
void BM_EvaluateCached(benchmark::State& state)
{
    run_over_positions(state, [](const Board& board) { return evaluate(board, evaluator()); });
}

void BM_PawnTermsWarm(benchmark::State& state)
{
    run_over_positions(state,
        [](const Board& board) { return evaluate_pawn_terms(board, evaluator().cache.pawns); });
}

// Mobility, outposts, rooks, threats and king danger: the one pass evaluate makes.
void BM_PieceTerms(benchmark::State& state)
{
    run_over_positions(state, [](const Board& board) { return evaluate_pieces(board); });
}

} // namespace

BENCHMARK(BM_EvaluateCached);
BENCHMARK(BM_PawnTermsWarm);
BENCHMARK(BM_PieceTerms);
