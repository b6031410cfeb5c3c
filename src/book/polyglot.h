// polyglot.h: opening books in the Polyglot format.
//
// The whole book is read into memory by load_book (16-byte big-endian records sorted by key)
// and searched by bisection. book_probe picks among at most 64 entries of the position with
// probability proportional to their weights. Every load failure leaves no book, silently.
#pragma once

#include <cstdint>

#include "board/board.h"

struct BookEntry {
    std::uint64_t key;
    std::uint16_t move; // Polyglot move word
    std::uint16_t weight;
};

// A zero-filled record is an empty book.
struct Book {
    BookEntry* entries; // heap array in file order, or nullptr
    std::int32_t count;
    std::uint64_t random_state; // behind the weighted choice
};

extern const std::uint64_t polyglot_random64[781];

// Replaces the book by the file's; true on success, which also reseeds the choice from the
// clock. On failure the book is empty.
bool load_book(Book& book, const char* path);
void free_book(Book& book);

std::uint64_t polyglot_key(const Board& board);

// A legal move of the position chosen from the book, or NO_MOVE.
Move book_probe(Book& book, Board& board);

// Seeds the weighted choice (tests use a fixed seed).
inline void seed_book_random(Book& book, std::uint64_t seed) { book.random_state = seed; }
