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

const Network& embedded() { return test_engine().network; }

// Four king buckets, finer on the home ranks, mirrored, with small random weights (so that
// buckets and wings evaluate differently), read through the file format.
const Network& bucketed()
{
    static const auto network = [] {
        std::vector<unsigned char> bytes(NNUE_FILE_SIZE + 3 * NNUE_FT_BLOCK);
        std::memcpy(bytes.data(), "VNN2\0\1\0\0\4\0\0\0\x08\0\0\0\1", 17);
        for (int sq = 0; sq < SQUARE_NB; ++sq)
            bytes[20 + sq] = file_of(sq) < 4 ? 0
                : rank_of(sq) == 0           ? file_of(sq) / 6
                : rank_of(sq) < 3            ? 2
                                             : 3;
        std::uint64_t seed = 99;
        for (std::size_t at = NNUE_HEADER_SIZE; at < bytes.size() - 4 * NNUE_BUCKETS; at += 2) {
            const int v   = static_cast<int>(xorshift(seed) % 121) - 60; // any layer's bound
            bytes[at]     = static_cast<unsigned char>(v);
            bytes[at + 1] = static_cast<unsigned char>(v >> 8);
        }
        auto n = std::make_unique<Network>();
        EXPECT_EQ(read_network(*n, bytes.data(), bytes.size()), nullptr);
        return n;
    }();
    return *network;
}

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
    const Network& network = *t.evaluator.network;
    use_avx2_kernels(false);
    compute_accumulator(scratch, t.board, network);
    const int expected = evaluate(t.board, &network);
    use_avx2_kernels(avx2);
    const Accumulator& top
        = current_accumulator(t.evaluator.accumulators, t.evaluator.refresh, t.board, network);
    if (std::memcmp(&top, &scratch, sizeof scratch) != 0)
        return "accumulators differ from scratch";
    return evaluate(t.board, t.evaluator) == expected ? "" : "evaluation differs from scratch";
}

// Every legal move done and undone; then a move, a null move and a move, evaluated only at the
// end of the line and on the way back.
void check_incremental(const Board& board, std::uint64_t& seed, bool avx2, const Network& network)
{
    SearchThread& t = searcher();
    t.board         = board;
    start_evaluation(t.evaluator, t.board, EvalStyle::Neural, &network);
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

// With king buckets and mirroring, kings crossing buckets and wings (castling among them)
// refresh their perspective from the refresh cache, which lives on through each line.
TEST_F(EvalNeural, IncrementalAccumulatorsEqualScratch)
{
    std::uint64_t seed = 5;
    for (const bool avx2 : { true, false })
        for (const Network* network : { &embedded(), &bucketed() }) {
            clear_eval_cache(searcher().evaluator.cache); // its scores are another network's
            walk_random_games(31 + avx2, 12, 80, [&](Board& board) {
                ASSERT_NO_FATAL_FAILURE(check_incremental(board, seed, avx2, *network));
            });
            // Chess960: castling where king and rook land on each other's squares, or stay.
            for (const char* fen : { "1r3kr1/pppppppp/8/8/8/8/PPPPPPPP/1R3KR1 w GBgb - 0 1",
                     "rkrnnqbb/pppppppp/8/8/8/8/PPPPPPPP/RKRNNQBB w CAca - 0 1",
                     "bbqnnrkr/pppppppp/8/8/8/8/PPPPPPPP/BBQNNRKR w HFhf - 0 1" }) {
                Board board = board_from_fen(fen, true);
                for (int ply = 0; ply < 120; ++ply) {
                    ASSERT_NO_FATAL_FAILURE(check_incremental(board, seed, avx2, *network));
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
// castling, en passant, promotions), every incremental accumulator equals its recomputation:
// with the bucketed network, then the embedded one.
TEST_F(EvalNeural, SearchAccumulatorsEqualScratch)
{
    Engine& engine = test_engine();
    setoption_command(engine, "setoption name Style value Neural");
    engine.network = bucketed();
    new_game(engine);
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
    ASSERT_EQ(load_embedded_network(engine.network), nullptr);
    new_game(engine);
    search("position fen r3k2r/pp3ppp/8/8/8/8/PP3PPP/R3K2R w KQkq - 0 1", false);
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
    ASSERT_GE(bytes.size(), NNUE_FILE_SIZE);
    bytes[bytes.size() - 3] = static_cast<char>(bytes[bytes.size() - 3] + 1);
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
            + "setoption name EvalFile value " MADE_DATA_DIR "/truncated.vnn\n" + eval
            + "setoption name EvalFile value <empty>\n" + eval)
              .output;
    std::remove(path.c_str());
    rmdir(folder);
    std::vector<std::string> scores;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Network score", 0) == 0)
            scores.push_back(line);
    ASSERT_NE(score(changed), score(embedded()));
    EXPECT_EQ(scores,
        (std::vector { score(embedded()), score(changed), score(changed), score(embedded()) }));
}

// Colour does not exist for the network: a colour-mirrored position has the very same
// features. With mirroring on, neither do the wings: the position mirrored file for file
// (without castling rights, which would not survive it) has them too.
TEST_F(EvalNeural, MirrorsEvaluateTheSame)
{
    walk_random_games(78, 30, 120, [](Board& board) {
        Board mirror;
        parse_fen(mirror, mirrored_fen(board));
        for (const Network* network : { &embedded(), &bucketed() }) {
            ASSERT_EQ(network_output(mirror, *network), network_output(board, *network))
                << mirrored_fen(board);
            ASSERT_EQ(evaluate(mirror, network), evaluate(board, network));
        }
        std::string squares;
        for (int sq = 0; sq < SQUARE_NB; ++sq)
            squares += board.squares[sq ^ 7] == EMPTY ? '1' : "PNBRQKpnbrqk"[board.squares[sq ^ 7]];
        const std::string wings = placement_fen(squares) + (board.side == WHITE ? " w" : " b");
        parse_fen(mirror, wings + " - - 0 1");
        ASSERT_EQ(network_output(mirror, bucketed()), network_output(board, bucketed())) << wings;
        ASSERT_EQ(evaluate(mirror, &bucketed()), evaluate(board, &bucketed()));
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
            EXPECT_EQ(network_output(board, embedded()), std::stoi(line.substr(bar + 1))) << line;
        }
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

// A value one past each bound is refused and leaves the network as it was; the bound passes.
// With one king bucket and with four, whose first layer is four times as long.
TEST_F(EvalNeural, NetworkBoundsAreChecked)
{
    static Network before, target;
    for (const std::int64_t kings : { 1, 4 }) {
        std::vector<unsigned char> bytes(NNUE_FILE_SIZE + (kings - 1) * NNUE_FT_BLOCK);
        std::memcpy(bytes.data(), "VNN2\0\1\0\0\0\0\0\0\x08", 13);
        bytes[8]                   = static_cast<unsigned char>(kings);
        const std::int64_t bias_at = bytes.size() - 32, out_at = bias_at - 8192;
        // The first and last value of each bounded block: first-layer weights and biases,
        // output weights, output biases (at, size, bound).
        const std::int64_t cases[][3]
            = { { 84, 2, NNUE_FT_LIMIT }, { out_at - 2, 2, NNUE_FT_LIMIT },
                  { out_at, 2, NNUE_OUT_LIMIT }, { bias_at - 2, 2, NNUE_OUT_LIMIT },
                  { bias_at, 4, NNUE_BIAS_LIMIT }, { bias_at + 28, 4, NNUE_BIAS_LIMIT } };
        for (const auto& [at, size, bound] : cases)
            for (const std::int64_t value : { bound, -bound, bound + 1, -bound - 1 }) {
                for (int k = 0; k < size; ++k)
                    bytes[at + k]
                        = static_cast<unsigned char>(static_cast<std::uint64_t>(value) >> (8 * k));
                target        = before;
                const bool ok = read_network(target, bytes.data(), bytes.size()) == nullptr;
                EXPECT_EQ(ok, std::abs(value) == bound) << kings << " " << at;
                EXPECT_EQ(std::memcmp(&target, &before, sizeof before) == 0, !ok);
                std::fill(bytes.begin() + at, bytes.begin() + at + size, 0);
            }
    }
}

// Every count of king buckets names the size its file must have, and a file of that size loads.
TEST_F(EvalNeural, EveryKingBucketCountNamesTheSizeThatLoads)
{
    static Network network;
    for (int kings = 1; kings <= NNUE_MAX_KING_BUCKETS; ++kings) {
        std::vector<unsigned char> bytes(NNUE_HEADER_SIZE);
        std::memcpy(bytes.data(), "VNN2\0\1\0\0\0\0\0\0\x08", 13);
        bytes[8]           = static_cast<unsigned char>(kings);
        const char* reason = read_network(network, bytes.data(), bytes.size());
        std::size_t size   = 0;
        ASSERT_NE(reason, nullptr);
        ASSERT_EQ(std::sscanf(reason, "is truncated (%zu bytes expected)", &size), 1) << reason;
        bytes.resize(size);
        EXPECT_EQ(read_network(network, bytes.data(), size), nullptr) << kings;
    }
}

} // namespace
