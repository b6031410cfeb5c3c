// polyglot.h: opening books in the Polyglot format.
//
// The whole book is read into memory by load_book (16-byte big-endian records sorted by key)
// and searched by bisection. book_probe picks among at most 64 entries of the position with
// probability proportional to their weights. Every load failure leaves no book and OwnBook
// off, silently.
#pragma once

#include <cstdint>

#include "board/board.h"

struct BookEntry {
    std::uint64_t key;
    std::uint16_t move; // Polyglot move word
    std::uint16_t weight;
};

extern BookEntry* book_entries; // heap array in file order, or nullptr
extern std::int32_t book_count;
extern std::uint8_t own_book; // the "OwnBook" option

extern const std::uint64_t polyglot_random64[781];

// Replaces the loaded book; true on success (which also sets own_book and reseeds the
// random generator from the clock).
bool load_book(const char* path);

std::uint64_t polyglot_key(const Board& board);

// A legal move of the position chosen from the book, or NO_MOVE.
Move book_probe(Board& board);

// Seeds the generator behind the weighted choice (tests use a fixed seed).
void seed_book_random(std::uint64_t seed);
