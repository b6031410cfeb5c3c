// nnue.h: the network of the Neural style: 768 piece-square inputs per perspective and king
// bucket -> 256 hidden (one shared first layer, an accumulator per perspective) -> SCReLU -> one
// of 8 output buckets by piece count. Integer arithmetic only, the same on every processor: AVX2
// kernels where the CPU has them (chosen at start-up), a portable path otherwise, bit for bit
// alike. A network is a plain record: the executable carries one (src/eval/nets/vantorel.vnn,
// the VNN2 file format), and a file may replace it (EvalFile); whoever owns it changes it only
// between searches.
//
// King buckets: each perspective sees the board from its own side (Black's squares flipped
// vertically); with mirroring on and its king on files a-d, every square is also mirrored to
// the other wing (sq ^ 7). Its king's square after both then picks one of K blocks of 768 rows
// through the network's map. A piece's feature is bucket * 768 + own/their * 384 + type * 64 +
// the square after both transforms.
//
// A search keeps its accumulators on a stack with an entry per move made below the root,
// whose piece changes (board.h) the undo records hold; entries are brought up to date lazily,
// from the nearest computed one below, when a position is evaluated, so that unmaking costs
// nothing. A perspective whose king has changed bucket or wing since then is refreshed instead,
// from the thread's refresh cache: the accumulator last computed for that perspective, bucket
// and wing, corrected by the pieces that differ.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/board.h"

constexpr int NNUE_INPUTS              = 768; // per king bucket
constexpr int NNUE_HIDDEN              = 256;
constexpr int NNUE_BUCKETS             = 8; // output buckets: (pieces - 2) / 4, capped
constexpr int NNUE_MAX_KING_BUCKETS    = 16;
constexpr int NNUE_QA                  = 255; // first layer's unit; SCReLU clamps to it
constexpr int NNUE_QB                  = 64; // output weights' unit
constexpr int NNUE_SCALE               = 400; // centipawns per unit of the float model's output
constexpr int NNUE_FT_LIMIT            = 992; // |first-layer weight or bias|: 33 of them never wrap
constexpr int NNUE_OUT_LIMIT           = 64; // |output weight|
constexpr std::int32_t NNUE_BIAS_LIMIT = std::int32_t(1) << 24; // |output bias|

// "VNN2", u32 hidden size (NNUE_HIDDEN), u32 king buckets K (1..16), u32 output buckets
// (NNUE_BUCKETS), u8 mirror flag (0 or 1) and 3 zero bytes, u8[64] king-bucket map (by the
// perspective's king square as above; below K, and 0 on files a-d when mirroring), then
// little-endian i16 first-layer weights [K * 768][hidden] and biases, i16 output weights (per
// bucket: side to move's half, then the other's), i32 output biases.
constexpr std::size_t NNUE_HEADER_SIZE = 84;
constexpr std::size_t NNUE_FT_BLOCK    = 2 * std::size_t(NNUE_INPUTS) * NNUE_HIDDEN;
constexpr std::size_t NNUE_FILE_SIZE // with one king bucket
    = NNUE_HEADER_SIZE + NNUE_FT_BLOCK + 2 * (NNUE_HIDDEN + NNUE_BUCKETS * 2 * NNUE_HIDDEN)
    + 4 * NNUE_BUCKETS;
constexpr std::size_t NNUE_MAX_FILE_SIZE
    = NNUE_FILE_SIZE + (NNUE_MAX_KING_BUCKETS - 1) * NNUE_FT_BLOCK;

// Room for the largest network, so that one record holds any file (6 MB); rows past
// king_buckets * 768 are unused. The small arrays come first, next to the rows in use.
struct Network {
    alignas(32) std::int16_t ft_bias[NNUE_HIDDEN];
    alignas(32) std::int16_t out_weights[NNUE_BUCKETS][2 * NNUE_HIDDEN];
    std::int32_t out_bias[NNUE_BUCKETS];
    std::int32_t king_buckets;
    bool mirror;
    std::uint8_t king_map[SQUARE_NB];
    alignas(32) std::int16_t ft_weights[NNUE_MAX_KING_BUCKETS * NNUE_INPUTS][NNUE_HIDDEN];
};

// Uses the AVX2 kernels when `wanted` and the processor has them; true when they are in use.
// Once at start-up (tests switch to compare the two).
bool use_avx2_kernels(bool wanted);

// Each returns nullptr when `out` was replaced, else why not (`out` is then untouched): the
// file's bytes are all checked (magic, shape, map, mirror flag, padding, size, bounds) before
// any is used.
const char* read_network(Network& out, const unsigned char* bytes, std::size_t size);
const char* load_network_file(Network& out, const char* path);
const char* load_embedded_network(Network& out);

// A position's first layer, White's perspective first; lanes wrap as int16.
struct Accumulator {
    alignas(32) std::int16_t values[COLOR_NB][NNUE_HIDDEN];
};

// A king's square, or NO_SQUARE without one (such a perspective uses bucket 0, unmirrored).
inline int king_square(const Board& board, int color)
{
    const Bitboard king = board.pieces[make_piece(color, KING)];
    return king ? lsb(king) : NO_SQUARE;
}

// entries[0] is the search's root, entries[i] the position after the move of undo record
// root_undo_count + i - 1; kings[i] its kings' squares.
struct AccumulatorStack {
    Accumulator entries[MAX_PLY + 1];
    bool computed[MAX_PLY + 1][COLOR_NB];
    std::int8_t kings[MAX_PLY + 1][COLOR_NB];
    int top;
    int root_undo_count;
};

// One perspective's accumulator for one king bucket and wing, and the pieces it counts.
struct RefreshEntry {
    alignas(32) std::int16_t values[NNUE_HIDDEN];
    Bitboard pieces[PIECE_NB];
};
struct RefreshCache {
    RefreshEntry entries[COLOR_NB][NNUE_MAX_KING_BUCKETS][2];
};

// At the root of a search: forgets every entry and computes the root's, so that a line whose
// nodes were never evaluated (cache hits, cut-offs) still updates from it instead of refreshing.
// The cache starts from no pieces, so that nothing depends on an earlier search or network.
void reset_accumulators(
    AccumulatorStack& stack, RefreshCache& cache, const Board& root, const Network* network);
// Right after make_move or make_null_move: the entry of the new position, `board`.
inline void push_accumulator(AccumulatorStack& stack, const Board& board)
{
    assert(stack.top < MAX_PLY);
    ++stack.top;
    stack.computed[stack.top][WHITE] = stack.computed[stack.top][BLACK] = false;
    stack.kings[stack.top][WHITE] = static_cast<std::int8_t>(king_square(board, WHITE));
    stack.kings[stack.top][BLACK] = static_cast<std::int8_t>(king_square(board, BLACK));
}
// Right after unmaking the move pushed last.
inline void pop_accumulator(AccumulatorStack& stack) { --stack.top; }
// The top entry, brought up to date; `board` is the position at the top.
const Accumulator& current_accumulator(
    AccumulatorStack& stack, RefreshCache& cache, const Board& board, const Network& network);

void compute_accumulator(Accumulator& acc, const Board& board, const Network& network);
// The network's output in centipawns, side to move's view, unclamped.
int network_output(const Accumulator& acc, const Board& board, const Network& network);
int network_output(const Board& board, const Network& network); // from scratch
