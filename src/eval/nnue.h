// nnue.h: the network of the Neural style: 768 piece-square inputs per perspective -> 256
// hidden (one shared first layer, an accumulator per perspective) -> SCReLU -> one of 8 output
// buckets by piece count. Integer arithmetic only, the same on every processor: AVX2 kernels
// where the CPU has them (chosen at start-up), a portable path otherwise, bit for bit alike.
// A network is a plain record: the executable carries one (src/eval/nets/vantorel.vnn, the VNN1
// file format), and a file may replace it (EvalFile); whoever owns it changes it only between
// searches.
// A search keeps its accumulators on a stack with an entry per move made below the root,
// whose piece changes (board.h) the undo records hold; entries are brought up to date lazily,
// from the nearest computed one below, when a position is evaluated, so that unmaking costs
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/board.h"

constexpr int NNUE_INPUTS    = 768; // own/their * 384 + type * 64 + square, Black's flipped
constexpr int NNUE_HIDDEN    = 256;
constexpr int NNUE_BUCKETS   = 8; // (pieces - 2) / 4, capped
constexpr int NNUE_QA        = 255; // first layer's unit; SCReLU clamps to it
constexpr int NNUE_QB        = 64; // output weights' unit
constexpr int NNUE_SCALE     = 400; // centipawns per unit of the float model's output
constexpr int NNUE_FT_LIMIT  = 992; // |first-layer weight or bias|: 33 of them never wrap
constexpr int NNUE_OUT_LIMIT = 64; // |output weight|
constexpr std::int32_t NNUE_BIAS_LIMIT = std::int32_t(1) << 24; // |output bias|

// "VNN1", u32 hidden size, u32 bucket count, then little-endian i16 first-layer weights
// (feature-major) and biases, i16 output weights (per bucket: side to move's half, then the
// other's), i32 output biases.
constexpr std::size_t NNUE_FILE_SIZE = 12
    + 2 * (std::size_t(NNUE_INPUTS) * NNUE_HIDDEN + NNUE_HIDDEN + NNUE_BUCKETS * 2 * NNUE_HIDDEN)
    + 4 * NNUE_BUCKETS;

struct Network {
    alignas(32) std::int16_t ft_weights[NNUE_INPUTS][NNUE_HIDDEN];
    alignas(32) std::int16_t ft_bias[NNUE_HIDDEN];
    alignas(32) std::int16_t out_weights[NNUE_BUCKETS][2 * NNUE_HIDDEN];
    std::int32_t out_bias[NNUE_BUCKETS];
};

// Uses the AVX2 kernels when `wanted` and the processor has them; true when they are in use.
// Once at start-up (tests switch to compare the two).
bool use_avx2_kernels(bool wanted);

// Each returns nullptr when `out` was replaced, else why not (`out` is then untouched): the
// file's bytes are all checked (size, magic, shape, bounds) before any is used.
const char* read_network(Network& out, const unsigned char* bytes, std::size_t size);
const char* load_network_file(Network& out, const char* path);
const char* load_embedded_network(Network& out);

// A position's first layer, White's perspective first; lanes wrap as int16.
struct Accumulator {
    alignas(32) std::int16_t values[COLOR_NB][NNUE_HIDDEN];
};

// entries[0] is the search's root, entries[i] the position after the move of undo record
// root_undo_count + i - 1.
struct AccumulatorStack {
    Accumulator entries[MAX_PLY + 1];
    bool computed[MAX_PLY + 1];
    int top;
    int root_undo_count;
};

// At the root of a search: forgets every entry; the root's is computed at its first use.
void reset_accumulators(AccumulatorStack& stack, const Board& root);
// Right after make_move or make_null_move: the entry of the new position.
inline void push_accumulator(AccumulatorStack& stack)
{
    assert(stack.top < MAX_PLY);
    stack.computed[++stack.top] = false;
}
// Right after unmaking the move pushed last.
inline void pop_accumulator(AccumulatorStack& stack) { --stack.top; }
// The top entry, brought up to date; `board` is the position at the top.
const Accumulator& current_accumulator(
    AccumulatorStack& stack, const Board& board, const Network& network);

void compute_accumulator(Accumulator& acc, const Board& board, const Network& network);
// The network's output in centipawns, side to move's view, unclamped.
int network_output(const Accumulator& acc, const Board& board, const Network& network);
int network_output(const Board& board, const Network& network); // from scratch
