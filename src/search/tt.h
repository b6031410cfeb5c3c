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
// torn by two writers fails its key test and reads as a miss. Sizing, clearing and the
// generation change only between searches, by the table's owner.
#pragma once

#include <cstddef>
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

// A zero-filled record is a table without entries, which tt_resize gives its memory.
struct TranspositionTable {
    TTEntry* entries; // nullptr without a table (never sized, or a failed allocation)
    std::uint64_t mask; // entry count - 1; the count is a power of two
    std::uint8_t epoch; // clears since the table was last zero-filled
    std::uint8_t generation; // bumped once per search
    void* mapping; // what the system mapped, when that is how the entries came
    std::size_t mapped;
};

// Releases the table and allocates the largest power of two of entries that fits in
// `megabytes` (clamped by the caller to 1..2048), zero-filled.
void tt_resize(TranspositionTable& tt, int megabytes);
// Empties the table (every slot then reads as zero-filled); the generation goes on, unless the
// caller resets it. It counts clears instead of zeroing: a slot written before the last clear
// is ignored, and only every 256th clear writes the whole table.
void tt_clear(TranspositionTable& tt);
// Empties the table by writing every slot: slow for a large table, since the first write to
// each page maps it (a huge page with compaction), but then no search pays for that.
void tt_zero(TranspositionTable& tt);
void tt_free(TranspositionTable& tt);
// A search begins: entries stored from now on outrank the older ones.
inline void tt_new_search(TranspositionTable& tt) { ++tt.generation; }

TTHit tt_probe(const TranspositionTable& tt, std::uint64_t key, int ply);
// Starts loading the entry of `key` into the cache: called right after a move is made, so
// that the child's probe finds it there.
inline void tt_prefetch(const TranspositionTable& tt, std::uint64_t key)
{
    if (tt.entries != nullptr)
        __builtin_prefetch(&tt.entries[key & tt.mask]);
}
// The same for the position after `move`, before it is made: its key is guessed from the
// moving and the captured piece and the en-passant file (castling rights, promotions and the
// castling rook are left out), which is right for most moves and costs nothing when wrong.
void tt_prefetch_move(const TranspositionTable& tt, const Board& board, Move move);
void tt_store(
    TranspositionTable& tt, std::uint64_t key, int score, int bound, int depth, Move move, int ply);

// How full the table is, per mille: the share of its first thousand slots (all, when it has
// fewer) holding an entry stored by the current search.
int tt_hashfull(const TranspositionTable& tt);
