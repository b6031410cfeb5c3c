// book_fuzz: any bytes as a book file. The loader must accept exactly the files of a positive
// multiple of 16 bytes and keep every record; probes must return a legal move or NO_MOVE and
// leave the position alone. The records are loaded again with their keys replaced by the keys
// of a few test positions, so that probes reach the move decoding.
#include <algorithm>
#include <cstdint>

#include "book/polyglot.h"
#include "fuzz_support.h"

namespace {

// Castling both ways, promotions with and without capture, en passant, a lone king.
const char* const PROBE_FENS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
    "1r2k3/P6P/8/8/8/8/p6p/1R2K3 w - - 0 1",
    "1r2k3/P6P/8/8/8/8/p6p/1R2K3 b - - 0 1",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "8/8/8/8/8/8/8/4K2k w - - 0 1",
};
constexpr int PROBE_COUNT = sizeof PROBE_FENS / sizeof PROBE_FENS[0];

Board boards[PROBE_COUNT];
std::uint64_t keys[PROBE_COUNT];
// The book file lives in memory; load_book opens it through /proc like any other path.
int book_fd = -1;
char book_path[64];
Book book;

bool load(const std::uint8_t* data, std::size_t size)
{
    if (ftruncate(book_fd, 0) != 0 || pwrite(book_fd, data, size, 0) != static_cast<ssize_t>(size))
        fuzz_fail("cannot write the book file");
    const bool loaded = load_book(book, book_path);
    const bool valid  = size >= 16 && size % 16 == 0;
    if (loaded != valid || (!valid && (book.count != 0 || book.entries)))
        fuzz_fail("load_book accepted a bad size or refused a good one");
    if (valid && (book.count != static_cast<std::int32_t>(size / 16) || !book.entries))
        fuzz_fail("load_book lost records");
    for (std::int32_t i = 0; valid && i < book.count; ++i) {
        std::uint64_t record[2] = { 0, 0 };
        for (int b = 0; b < 12; ++b)
            record[b / 8] = record[b / 8] << 8 | data[16 * i + b];
        const BookEntry& e = book.entries[i];
        if (e.key != record[0] || e.move != record[1] >> 16 || e.weight != (record[1] & 0xFFFF))
            fuzz_fail("a record was misread");
    }
    return valid;
}

void probe_all()
{
    for (int i = 0; i < PROBE_COUNT; ++i) {
        const Board before = boards[i];
        for (int round = 0; round < 3; ++round) {
            const Move move = book_probe(book, boards[i]);
            MoveList legal;
            generate_legal_moves(boards[i], legal);
            if (move != NO_MOVE && std::count(legal.moves, legal.moves + legal.count, move) == 0)
                fuzz_fail("book_probe returned an illegal move", PROBE_FENS[i]);
        }
        if (!same_board(before, boards[i]))
            fuzz_fail("book_probe changed the position", PROBE_FENS[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    test_engine();
    capture_stdout();
    book_fd = memfd_create("vantorel_book", 0);
    if (book_fd < 0)
        fuzz_fail("cannot create the book file");
    std::snprintf(book_path, sizeof book_path, "/proc/self/fd/%d", book_fd);
    for (int i = 0; i < PROBE_COUNT; ++i) {
        parse_fen(boards[i], PROBE_FENS[i]);
        keys[i] = polyglot_key(boards[i]);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return -1;
    load(data, size);
    seed_book_random(book, size);
    probe_all();

    // Each record's first key byte picks a test position; the records are then sorted by key,
    // as the probe requires.
    if (size >= 16) {
        std::string keyed(reinterpret_cast<const char*>(data), size - size % 16);
        std::uint8_t* bytes       = reinterpret_cast<std::uint8_t*>(keyed.data());
        const std::size_t records = keyed.size() / 16;
        for (std::size_t r = 0; r < records; ++r) {
            std::uint64_t key = keys[bytes[16 * r] % PROBE_COUNT];
            for (int b = 7; b >= 0; --b, key >>= 8)
                bytes[16 * r + b] = static_cast<std::uint8_t>(key);
        }
        struct Record {
            std::uint8_t b[16];
        };
        Record* begin = reinterpret_cast<Record*>(bytes);
        std::stable_sort(begin, begin + records,
            [](const Record& x, const Record& y) { return std::memcmp(x.b, y.b, 8) < 0; });
        load(bytes, keyed.size());
        probe_all();
    }
    if (!take_output().empty())
        fuzz_fail("the book printed something");
    // A freed book is empty, whatever it held.
    free_book(book);
    for (int i = 0; i < PROBE_COUNT; ++i)
        if (book_probe(book, boards[i]) != NO_MOVE)
            fuzz_fail("book_probe answered from a freed book");
    return 0;
}
