// tt.h: the transposition table: one direct-mapped array of 16-byte entries indexed by the
// low bits of the Zobrist key, sized to a power of two by the "Hash" option.
//
// Replacement: a slot is kept only when it holds another position stored in the current
// generation at a greater depth. Mate scores are stored relative to the storing ply and read
// back relative to the probing ply. Without a table (failed allocation) every probe misses
// and every store does nothing.
//
// Every search thread probes and stores at once, without locks: an entry is two words, the
// data and the key XOR the data, each read and written whole (relaxed atomics), so an entry
// torn by two writers fails its key test and reads as a miss. Sizing and clearing happen only
// between searches.
#pragma once

#include <cstdint>

#include "board/board.h"

constexpr std::uint8_t BOUND_EXACT = 0;
constexpr std::uint8_t BOUND_LOWER = 1;
constexpr std::uint8_t BOUND_UPPER = 2;

// data: score 16 | move 16 | depth 8 | bound 8 | age 8 | epoch 8, from the low bits up; the
// epoch is the clear it was written after, and a slot of an older one reads as zero-filled.
struct TTEntry {
    std::uint64_t checked_key; // the key XOR data; 0 with data 0 marks a slot never written
    std::uint64_t data;
};
static_assert(sizeof(TTEntry) == 16);

struct TTHit {
    bool found;
    int score; // converted back to the probing ply
    Move move;
    int depth;
    int bound;
};

extern std::uint8_t tt_generation; // bumped once per search

// Releases the table and allocates the largest power of two of entries that fits in
// `megabytes` (clamped by the caller to 1..2048), zero-filled.
void tt_resize(int megabytes);
// Empties the table (every slot then reads as zero-filled); callers reset tt_generation. It counts
// clears instead of zeroing: a slot written before the last clear is ignored, and only every 256th
// clear writes the whole table.
void tt_clear();
// Empties the table by writing every slot: slow for a large table, since the first write to
// each page maps it (a huge page with compaction), but then no search pays for that.
void tt_zero();
void tt_free();
TTHit tt_probe(std::uint64_t key, int ply);
// Starts loading the entry of `key` into the cache: called right after a move is made, so
// that the child's probe finds it there.
void tt_prefetch(std::uint64_t key);
// The same for the position after `move`, before it is made: its key is guessed from the
// moving and the captured piece and the en-passant file (castling rights, promotions and the
// castling rook are left out), which is right for most moves and costs nothing when wrong.
void tt_prefetch_move(const Board& board, Move move);
void tt_store(std::uint64_t key, int score, int bound, int depth, Move move, int ply);
