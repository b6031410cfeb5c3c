#include <gtest/gtest.h>

#include "checks.h"
#include "eval/psq.h"

namespace {

struct EvalNeural : testing::Test {
    void SetUp() override { init_engine_once(), eval_style = STYLE_NEURAL; }
    void TearDown() override { eval_style = STYLE_PESTO, use_avx2_kernels(true); }
};

AccumulatorStack stack;
EvalCache cache;

// The top of the stack, brought up to date as the search would, against the portable kernels
// from scratch: the accumulators, and the evaluation with and without the searcher's records.
std::string check_top(const Board& board, bool avx2)
{
    static Accumulator scratch;
    use_avx2_kernels(false);
    compute_accumulator(scratch, board);
    const int expected = evaluate(board);
    use_avx2_kernels(avx2);
    if (std::memcmp(&current_accumulator(stack, board), &scratch, sizeof scratch) != 0)
        return "accumulators differ from scratch";
    return evaluate(board, cache, stack) == expected ? "" : "evaluation differs from scratch";
}

// Every legal move pushed and popped; then a move, a null move and a move, evaluated only at the
// end of the line and on the way back.
void check_incremental(Board& board, std::uint64_t& seed, bool avx2)
{
    reset_accumulators(stack);
    ASSERT_EQ(check_top(board, avx2), "");
    MoveList legal;
    generate_legal_moves(board, legal);
    for (int i = 0; i < legal.count; ++i) {
        make_move(board, legal.moves[i]);
        push_move(stack, board, legal.moves[i]);
        const std::string fault = check_top(board, avx2);
        unmake_move(board, legal.moves[i]);
        pop_move(stack);
        ASSERT_EQ(fault, "") << move_to_uci(legal.moves[i]).str;
    }
    generate_legal_moves(board, legal);
    if (legal.count == 0)
        return;
    const Move first = legal.moves[xorshift(seed) % legal.count];
    make_move(board, first);
    push_move(stack, board, first);
    const bool null = !in_check(board, board.side);
    if (null)
        make_null_move(board);
    generate_legal_moves(board, legal);
    const Move second = legal.count ? legal.moves[xorshift(seed) % legal.count] : NO_MOVE;
    if (second != NO_MOVE) {
        make_move(board, second);
        push_move(stack, board, second);
        ASSERT_EQ(check_top(board, avx2), "");
        unmake_move(board, second);
        pop_move(stack);
    }
    ASSERT_EQ(check_top(board, avx2), "");
    if (null)
        unmake_null_move(board);
    ASSERT_EQ(check_top(board, avx2), "");
    unmake_move(board, first);
    pop_move(stack);
    ASSERT_EQ(check_top(board, avx2), "");
}

TEST_F(EvalNeural, IncrementalAccumulatorsEqualScratch)
{
    clear_eval_cache(cache);
    std::uint64_t seed = 5;
    for (const bool avx2 : { true, false }) {
        walk_random_games(31 + avx2, 12, 80,
            [&](Board& board) { ASSERT_NO_FATAL_FAILURE(check_incremental(board, seed, avx2)); });
        // Chess960: castling where king and rook land on each other's squares, or stay.
        for (const char* fen : { "1r3kr1/pppppppp/8/8/8/8/PPPPPPPP/1R3KR1 w GBgb - 0 1",
                 "rkrnnqbb/pppppppp/8/8/8/8/PPPPPPPP/RKRNNQBB w CAca - 0 1",
                 "bbqnnrkr/pppppppp/8/8/8/8/PPPPPPPP/BBQNNRKR w HFhf - 0 1" }) {
            Board board = board_from_fen(fen, true);
            for (int ply = 0; ply < 120; ++ply) {
                ASSERT_NO_FATAL_FAILURE(check_incremental(board, seed, avx2));
                MoveList legal;
                generate_legal_moves(board, legal);
                if (legal.count == 0)
                    break;
                make_move(board, legal.moves[xorshift(seed) % legal.count]);
            }
        }
    }
}

// Colour does not exist for the network: a mirrored position has the very same features.
TEST_F(EvalNeural, ColourMirrorEvaluatesTheSame)
{
    walk_random_games(78, 30, 120, [](Board& board) {
        Board mirror;
        parse_fen(mirror, mirrored_fen(board));
        ASSERT_EQ(network_output(mirror), network_output(board)) << mirrored_fen(board);
        ASSERT_EQ(evaluate(mirror), evaluate(board));
    });
}

// The raw outputs of the embedded network that the Python emulation of its arithmetic gives.
TEST_F(EvalNeural, AgreesWithTheEmulation)
{
    std::istringstream lines(read_file(TEST_DATA_DIR "/nnue/agreement.txt"));
    int checked = 0;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t bar = line.find('|');
        if (line.empty() || line[0] == '#' || bar == std::string::npos)
            continue;
        const Board board = board_from_fen(line.substr(0, bar));
        for (const bool avx2 : { true, false }) {
            use_avx2_kernels(avx2);
            EXPECT_EQ(network_output(board), std::stoi(line.substr(bar + 1))) << line;
        }
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

// A value one past each bound is refused and leaves the network as it was; the bound passes.
TEST_F(EvalNeural, NetworkBoundsAreChecked)
{
    static Network before, target;
    std::vector<unsigned char> bytes(NNUE_FILE_SIZE);
    std::memcpy(bytes.data(), "VNN1\x00\x01\x00\x00\x08\x00\x00\x00", 12);
    const std::int64_t bias_at = NNUE_FILE_SIZE - 32, out_at = bias_at - 8192;
    const std::int64_t cases[][3] = { { 10012, 2, NNUE_FT_LIMIT }, { out_at - 2, 2, NNUE_FT_LIMIT },
        { out_at + 6, 2, NNUE_OUT_LIMIT }, { bias_at + 4, 4, NNUE_BIAS_LIMIT } }; // at, size, bound
    for (const auto& [at, size, bound] : cases)
        for (const std::int64_t value : { bound, -bound, bound + 1, -bound - 1 }) {
            for (int k = 0; k < size; ++k)
                bytes[at + k]
                    = static_cast<unsigned char>(static_cast<std::uint64_t>(value) >> (8 * k));
            target        = before;
            const bool ok = read_network(target, bytes.data(), bytes.size()) == nullptr;
            EXPECT_EQ(ok, std::abs(value) == bound);
            EXPECT_EQ(std::memcmp(&target, &before, sizeof before) == 0, !ok);
            std::fill(bytes.begin() + at, bytes.begin() + at + size, 0);
        }
}

} // namespace
