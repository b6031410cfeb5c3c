// polyglot.cpp: loading a Polyglot book, the Polyglot key and the weighted book move.
#include "book/polyglot.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "movegen/movegen.h"

// The file is read straight into the entry array and converted record by record in place,
// so a book needs its own size in memory, not twice that.
static_assert(sizeof(BookEntry) == 16, "a book record and an entry must share their bytes");

constexpr int MAX_BOOK_CANDIDATES = 64;

// splitmix64: any seed is fine, and 64 bits make the modulo below unbiased for all practical
// purposes (a total weight is below 2^22), unlike rand() with its 15 bits.
static std::uint64_t book_random(Book& book)
{
    std::uint64_t z = (book.random_state += 0x9E3779B97F4A7C15ULL);
    z               = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z               = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Whether a file of this many bytes can be a book here: whole 16-byte records, at least one,
// and an entry count that fits Book::count.
static bool book_size_is_valid(std::uint64_t file_size)
{
    if (file_size < 16 || file_size % 16 != 0)
        return false;
    // The count is 32-bit, and the whole file must be addressable in one buffer.
    return file_size / 16 <= static_cast<std::uint64_t>(INT32_MAX) && file_size <= SIZE_MAX;
}

void free_book(Book& book)
{
    delete[] book.entries;
    book.entries = nullptr;
    book.count   = 0;
}

// Size of a regular file in bytes, in 64 bits everywhere; false for anything else (on Linux a
// directory opens for reading and reports nonsense sizes).
static bool regular_file_size(std::FILE* file, std::uint64_t& size)
{
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return false;
    const std::int64_t end = _ftelli64(file);
    if (end < 0 || _fseeki64(file, 0, SEEK_SET) != 0)
        return false;
#else
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (fseeko(file, 0, SEEK_END) != 0)
        return false;
    const off_t end = ftello(file);
    if (end < 0 || fseeko(file, 0, SEEK_SET) != 0)
        return false;
#endif
    size = static_cast<std::uint64_t>(end);
    return true;
}

static std::uint64_t read_big_endian(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

bool load_book(Book& book, const char* path)
{
    free_book(book);

    std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file)
        return false;

    std::uint64_t size = 0;
    if (!regular_file_size(file, size) || !book_size_is_valid(size)) {
        std::fclose(file);
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(size / 16);

    BookEntry* entries = new (std::nothrow) BookEntry[count];
    if (!entries) {
        std::fclose(file);
        return false;
    }
    unsigned char* bytes = reinterpret_cast<unsigned char*>(entries);
    const bool read_all  = std::fread(bytes, 1, static_cast<std::size_t>(size), file) == size;
    std::fclose(file);
    if (!read_all) {
        delete[] entries;
        return false;
    }

    for (std::size_t i = 0; i < count; ++i) {
        unsigned char record[16];
        std::memcpy(record, bytes + 16 * i, 16);
        entries[i].key    = read_big_endian(record, 8);
        entries[i].move   = static_cast<std::uint16_t>(read_big_endian(record + 8, 2));
        entries[i].weight = static_cast<std::uint16_t>(read_big_endian(record + 10, 2));
    }

    book.entries = entries;
    book.count   = static_cast<std::int32_t>(count);
    seed_book_random(book, static_cast<std::uint64_t>(std::time(nullptr)));
    return true;
}

// Polyglot piece kind by the engine's piece code: black pieces even, white ones odd.
static int polyglot_kind(int piece) { return 2 * type_of(piece) + (color_of(piece) == WHITE); }

std::uint64_t polyglot_key(const Board& board)
{
    std::uint64_t key = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        const int piece = board.squares[sq];
        if (piece >= 0 && piece < PIECE_NB)
            key ^= polyglot_random64[64 * polyglot_kind(piece) + sq];
    }

    if (board.castling & CASTLE_WK)
        key ^= polyglot_random64[768];
    if (board.castling & CASTLE_WQ)
        key ^= polyglot_random64[769];
    if (board.castling & CASTLE_BK)
        key ^= polyglot_random64[770];
    if (board.castling & CASTLE_BQ)
        key ^= polyglot_random64[771];

    // The en-passant file counts only when a pawn of the side to move stands ready to take.
    const int ep = board.ep_square;
    if (ep >= 0 && ep < SQUARE_NB) {
        const int us   = board.side;
        const int pawn = make_piece(us, PAWN);
        const int west = us == WHITE ? ep - 9 : ep + 7;
        const int east = us == WHITE ? ep - 7 : ep + 9;
        const bool ready
            = (file_of(ep) != 0 && west >= 0 && west < SQUARE_NB && board.squares[west] == pawn)
            || (file_of(ep) != 7 && east >= 0 && east < SQUARE_NB && board.squares[east] == pawn);
        if (ready)
            key ^= polyglot_random64[772 + file_of(ep)];
    }

    if (board.side == WHITE)
        key ^= polyglot_random64[780];
    return key;
}

// Index of the first entry with `key`, or -1.
static std::int64_t find_first_entry(const Book& book, std::uint64_t key)
{
    const BookEntry* entries = book.entries;
    std::int64_t lo = 0, hi = static_cast<std::int64_t>(book.count) - 1;
    while (lo <= hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        if (entries[mid].key < key)
            lo = mid + 1;
        else if (entries[mid].key > key)
            hi = mid - 1;
        else {
            std::int64_t first = mid;
            while (first > 0 && entries[first - 1].key == key)
                --first;
            return first;
        }
    }
    return -1;
}

// The engine's legal move for a Polyglot move word in this position, or NO_MOVE. Castling
// is written as the king taking its own rook (e1h1); promotion pieces 1-4 are N, B, R, Q.
static Move decode_book_move(Board& board, std::uint16_t book_move)
{
    const int to_file   = book_move & 7;
    const int to_rank   = (book_move >> 3) & 7;
    const int from_file = (book_move >> 6) & 7;
    const int from_rank = (book_move >> 9) & 7;
    const int promotion = (book_move >> 12) & 7;
    const int from      = make_square(from_file, from_rank);
    int to              = make_square(to_file, to_rank);

    // Polyglot writes castling as the king taking its own rook.
    const int piece = board.squares[from];
    if (piece != EMPTY && type_of(piece) == KING && from_file == 4) {
        if (to_file == 7)
            to = make_square(6, from_rank);
        else if (to_file == 0)
            to = make_square(2, from_rank);
    }

    MoveList list;
    generate_legal_moves(board, list);
    for (int i = 0; i < list.count; ++i) {
        const Move m = list.moves[i];
        if (move_from(m) != from || move_to(m) != to)
            continue;
        if (promotion == 0)
            return m;
        // Polyglot's promotion pieces 1..4 are KNIGHT..QUEEN.
        if (promotion <= QUEEN && is_promotion(m) && promotion_type(m) == promotion)
            return m;
    }
    return NO_MOVE;
}

Move book_probe(Book& book, Board& board)
{
    if (!book.entries || book.count == 0)
        return NO_MOVE;

    const std::uint64_t key  = polyglot_key(board);
    const std::int64_t first = find_first_entry(book, key);
    if (first < 0)
        return NO_MOVE;

    std::uint16_t moves[MAX_BOOK_CANDIDATES];
    std::uint16_t weights[MAX_BOOK_CANDIDATES];
    int count           = 0;
    std::uint32_t total = 0;
    for (std::int64_t i = first;
         i < book.count && book.entries[i].key == key && count < MAX_BOOK_CANDIDATES; ++i) {
        moves[count]   = book.entries[i].move;
        weights[count] = book.entries[i].weight;
        total += book.entries[i].weight;
        ++count;
    }
    if (count == 0 || total == 0)
        return NO_MOVE;

    // Weight-0 entries never win: the running sum must pass r.
    const std::uint32_t r = static_cast<std::uint32_t>(book_random(book) % total);
    std::uint32_t sum     = 0;
    int chosen            = 0;
    for (int i = 0; i < count; ++i) {
        sum += weights[i];
        if (sum > r) {
            chosen = i;
            break;
        }
    }
    return decode_book_move(board, moves[chosen]);
}
