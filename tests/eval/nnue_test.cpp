#include <gtest/gtest.h>

#include <memory>
#include <fstream>

#include "checks.h"
#include "search/search.h"
#include "uci/options.h"

namespace {

struct EvalNeural : testing::Test {
    void TearDown() override { use_avx2_kernels(true); }
};

const Network& network() { return test_engine().network; }

// A search thread's record, for its do_move and undo_move and its evaluation.
SearchThread& searcher()
{
    static const auto record = std::make_unique<SearchThread>();
    return *record;
}

// The top of the stack, brought up to date as the search would, against the portable kernels
// from scratch: the accumulators, and the evaluation with and without the thread's records.
std::string check_top(SearchThread& t, bool avx2)
{
    static Accumulator scratch;
    use_avx2_kernels(false);
    compute_accumulator(scratch, t.board, network());
    const int expected = evaluate(t.board, &network());
    use_avx2_kernels(avx2);
    const Accumulator& top = current_accumulator(t.evaluator.accumulators, t.board, network());
    if (std::memcmp(&top, &scratch, sizeof scratch) != 0)
        return "accumulators differ from scratch";
    return evaluate(t.board, t.evaluator) == expected ? "" : "evaluation differs from scratch";
}

// Every legal move done and undone; then a move, a null move and a move, evaluated only at the
// end of the line and on the way back.
void check_incremental(const Board& board, std::uint64_t& seed, bool avx2)
{
    SearchThread& t = searcher();
    t.board         = board;
    start_evaluation(t.evaluator, t.board, EvalStyle::Neural, &network());
    ASSERT_EQ(check_top(t, avx2), "");
    MoveList legal;
    generate_legal_moves(t.board, legal);
    for (int i = 0; i < legal.count; ++i) {
        do_move(t, legal.moves[i]);
        const std::string fault = check_top(t, avx2);
        undo_move(t, legal.moves[i]);
        ASSERT_EQ(fault, "") << move_to_uci(legal.moves[i]).str;
    }
    generate_legal_moves(t.board, legal);
    if (legal.count == 0)
        return;
    const Move first = legal.moves[xorshift(seed) % legal.count];
    do_move(t, first);
    const bool null = !in_check(t.board, t.board.side);
    if (null)
        do_null_move(t);
    generate_legal_moves(t.board, legal);
    const Move second = legal.count ? legal.moves[xorshift(seed) % legal.count] : NO_MOVE;
    if (second != NO_MOVE) {
        do_move(t, second);
        ASSERT_EQ(check_top(t, avx2), "");
        undo_move(t, second);
    }
    ASSERT_EQ(check_top(t, avx2), "");
    if (null)
        undo_null_move(t);
    ASSERT_EQ(check_top(t, avx2), "");
    undo_move(t, first);
    ASSERT_EQ(check_top(t, avx2), "");
}

TEST_F(EvalNeural, IncrementalAccumulatorsEqualScratch)
{
    clear_eval_cache(searcher().evaluator.cache);
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

// Inside real searches (null moves, reductions, the history dropped at the root, Chess960
// castling, en passant, promotions), every incremental accumulator equals its recomputation.
TEST_F(EvalNeural, SearchAccumulatorsEqualScratch)
{
    Engine& engine = test_engine();
    setoption_command(engine, "setoption name Style value Neural");
    accumulator_audit.on = true;
    const auto search    = [&](const char* position, bool chess960) {
        engine.board.chess960 = chess960;
        position_command(position, engine.board);
        SearchLimits limits {};
        limits.depth = 9;
        think(engine.pool, engine.tt, engine.board, limits, search_setup(engine), {});
    };
    search("position startpos moves e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6", false);
    search("position fen 2r3k1/1P3ppp/8/3pP3/8/8/5PPP/R3K2R w KQ d6 0 1", false);
    search("position fen 8/5k2/8/8/8/8/1p3K2/8 b - - 0 1", false);
    search("position fen bqrbnkrn/pppppppp/8/8/8/8/PPPPPPPP/BQRBNKRN w GCgc - 0 1", true);
    accumulator_audit.on  = false;
    engine.board.chess960 = false;
    setoption_command(engine, "setoption name Style value PeSTO");
    new_game(engine);
    EXPECT_GT(accumulator_audit.checked.load(), 10000u);
    EXPECT_EQ(accumulator_audit.differed.load(), 0u);
}

// EvalFile: a good file's network is the one used, a refused file leaves it, <empty> brings
// back the embedded one. The second network is the embedded one with the last bucket's output
// bias changed; the engine's eval must show what the library computes with it.
TEST_F(EvalNeural, EvalFileSwitchesTheNetwork)
{
    std::string bytes = read_file(TEST_DATA_DIR "/../../src/eval/nets/vantorel.vnn");
    ASSERT_EQ(bytes.size(), NNUE_FILE_SIZE);
    bytes[NNUE_FILE_SIZE - 3] = static_cast<char>(bytes[NNUE_FILE_SIZE - 3] + 1);
    static Network changed;
    ASSERT_EQ(
        read_network(changed, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
        nullptr);
    char folder[] = "/tmp/vantorel-nnue-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/changed.vnn";
    std::ofstream(path, std::ios::binary) << bytes;

    const Board board
        = board_from_fen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    const auto score = [&](const Network& n) {
        return "Network score (side-to-move): " + std::to_string(evaluate(board, &n)) + " cp";
    };
    const std::string eval = "eval\n";
    const std::string out
        = run_engine("setoption name Style value Neural\nposition startpos moves e2e4\n" + eval
            + "setoption name EvalFile value " + path + "\n" + eval
            + "setoption name EvalFile value " TEST_DATA_DIR "/nnue/truncated.vnn\n" + eval
            + "setoption name EvalFile value <empty>\n" + eval)
              .output;
    std::remove(path.c_str());
    rmdir(folder);
    std::vector<std::string> scores;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Network score", 0) == 0)
            scores.push_back(line);
    ASSERT_NE(score(changed), score(network()));
    EXPECT_EQ(scores,
        (std::vector { score(network()), score(changed), score(changed), score(network()) }));
}

// Colour does not exist for the network: a mirrored position has the very same features.
TEST_F(EvalNeural, ColourMirrorEvaluatesTheSame)
{
    walk_random_games(78, 30, 120, [](Board& board) {
        Board mirror;
        parse_fen(mirror, mirrored_fen(board));
        ASSERT_EQ(network_output(mirror, network()), network_output(board, network()))
            << mirrored_fen(board);
        ASSERT_EQ(evaluate(mirror, &network()), evaluate(board, &network()));
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
            EXPECT_EQ(network_output(board, network()), std::stoi(line.substr(bar + 1))) << line;
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
    // The first and last value of each bounded block: first-layer weights and biases, output
    // weights, output biases (at, size, bound).
    const std::int64_t cases[][3] = { { 12, 2, NNUE_FT_LIMIT }, { out_at - 2, 2, NNUE_FT_LIMIT },
        { out_at, 2, NNUE_OUT_LIMIT }, { bias_at - 2, 2, NNUE_OUT_LIMIT },
        { bias_at, 4, NNUE_BIAS_LIMIT }, { bias_at + 28, 4, NNUE_BIAS_LIMIT } };
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
