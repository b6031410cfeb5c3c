// nnue.h: the network of the Neural style: 768 piece-square inputs per perspective -> 256
// hidden (one shared first layer, an accumulator per perspective) -> SCReLU -> one of 8 output
// buckets by piece count. Integer arithmetic only, the same on every processor: AVX2 kernels
// where the CPU has them (chosen at start-up), a portable path otherwise, bit for bit alike.
// The network in use is the one the executable carries (src/eval/nets/vantorel.vnn, the VNN1
// file format) or a file loaded for EvalFile; it changes only between searches.
// A search keeps its accumulators on a stack: each move pushes what it changed, and the
// accumulators are brought up to date lazily, from the nearest computed one below, when a
// position is evaluated; a null move pushes nothing and unmaking costs nothing.
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

extern Network network; // the one in use

// Chooses the kernels and loads the embedded network (saying so in an info string if that
// fails); once, at start-up.
void init_nnue();
// Uses the AVX2 kernels when `wanted` and the processor has them; true when they are in use.
bool use_avx2_kernels(bool wanted);

// Each returns nullptr when the network was replaced, else why not (the network is then
// untouched): the file's bytes are all checked (size, magic, shape, bounds) before any is used.
const char* read_network(Network& out, const unsigned char* bytes, std::size_t size);
const char* load_network_file(const char* path);
const char* load_embedded_network();

// A position's first layer, White's perspective first; lanes wrap as int16.
struct Accumulator {
    alignas(32) std::int16_t values[COLOR_NB][NNUE_HIDDEN];
};

// What a move changed, as piece * 64 + square: the mover (or the king and rook of a castling)
// and a victim off their squares, the mover (promoted) or the king and rook onto theirs.
struct FeatureChanges {
    std::uint16_t removed[2];
    std::uint16_t added[2];
    std::int32_t removed_count;
    std::int32_t added_count;
};

// entries[0] is the search's root; changes[i] leads from entries[i - 1] to entries[i].
struct AccumulatorStack {
    Accumulator entries[MAX_PLY + 1];
    FeatureChanges changes[MAX_PLY + 1];
    bool computed[MAX_PLY + 1];
    int top;
};

// At the root of a search: forgets every entry; the root's is computed at its first use.
void reset_accumulators(AccumulatorStack& stack);
// Right after make_move(board, move): `board` is the position after the move.
void push_move(AccumulatorStack& stack, const Board& board, Move move);
// Right after unmaking the move pushed last.
inline void pop_move(AccumulatorStack& stack) { --stack.top; }
// The top entry, brought up to date; `board` is the position at the top.
const Accumulator& current_accumulator(AccumulatorStack& stack, const Board& board);

void compute_accumulator(Accumulator& acc, const Board& board); // from scratch
// The network's output in centipawns, side to move's view, unclamped.
int network_output(const Accumulator& acc, const Board& board);
int network_output(const Board& board); // from scratch
