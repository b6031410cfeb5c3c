// tt.cpp: the transposition table.
#include "search/tt.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "board/zobrist.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__linux__)
// On Linux the table is mapped directly, aligned to 2 MB and marked for transparent huge
// pages: probes then rarely miss the TLB, and clearing touches 32 pages instead of 16,384 (at
// 64 MB). Fresh mappings read as zero, as calloc's do.
constexpr std::size_t HUGE_PAGE = std::size_t(2) << 20;

static TTEntry* allocate_table(TranspositionTable& tt, std::size_t bytes)
{
    const std::size_t mapped = bytes + HUGE_PAGE;
    void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    tt.mapping   = p;
    tt.mapped    = mapped;
    const auto a = (reinterpret_cast<std::uintptr_t>(p) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    madvise(reinterpret_cast<void*>(a), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<TTEntry*>(a);
}

static void release_table(TranspositionTable& tt)
{
    if (tt.mapping != nullptr)
        munmap(tt.mapping, tt.mapped);
}
#else
static TTEntry* allocate_table(TranspositionTable&, std::size_t bytes)
{
    return static_cast<TTEntry*>(std::calloc(bytes / sizeof(TTEntry), sizeof(TTEntry)));
}

static void release_table(TranspositionTable& tt) { std::free(tt.entries); }
#endif

// A fresh table reads as zero, but the system supplies each page at its first write. Taking
// them all when the table is sized keeps that off the first search's clock (0.1-0.2 s for
// 64 MB here), where nodes waiting on page faults would also make the polls for input and time
// rare. Without a memset, so that sanitizer builds don't shadow the whole table.
static void take_pages(TTEntry* entries, std::size_t bytes)
{
#if defined(MADV_POPULATE_WRITE)
    // Kernels before 5.14 don't know the advice; short of memory, writing would not help.
    if (madvise(entries, bytes, MADV_POPULATE_WRITE) == 0 || errno != EINVAL)
        return;
#endif
    auto* const table_bytes = reinterpret_cast<volatile unsigned char*>(entries);
    for (std::size_t at = 0; at < bytes; at += 4096)
        table_bytes[at] = 0;
}

void tt_free(TranspositionTable& tt)
{
    release_table(tt);
    tt = {};
}

void tt_resize(TranspositionTable& tt, int megabytes)
{
    // Release first, so the old and the new table never need memory at the same time.
    const std::uint8_t generation = tt.generation;
    tt_free(tt);
    tt.generation = generation;

    const std::int64_t bytes = static_cast<std::int64_t>(megabytes) * 1048576;
    std::uint64_t count      = 1;
    if (bytes >= 32)
        while (static_cast<std::int64_t>(count * 32) <= bytes)
            count *= 2;

    tt.entries = allocate_table(tt, count * sizeof(TTEntry));
    if (tt.entries == nullptr)
        return;
    tt.mask = count - 1;
    take_pages(tt.entries, count * sizeof(TTEntry));
}

void tt_clear(TranspositionTable& tt)
{
    if (tt.epoch < UINT8_MAX)
        ++tt.epoch;
    else
        tt_zero(tt);
}

void tt_zero(TranspositionTable& tt)
{
    if (tt.entries != nullptr)
        std::memset(static_cast<void*>(tt.entries), 0, (tt.mask + 1) * sizeof(TTEntry));
    tt.epoch = 0;
}

void tt_prefetch_move(const TranspositionTable& tt, const Board& board, Move move)
{
    const int from    = move_from(move);
    const int to      = move_to(move);
    const int piece   = board.squares[from];
    std::uint64_t key = board.hash ^ zobrist_side;
    if (board.ep_square != NO_SQUARE)
        key ^= zobrist_ep_file[file_of(board.ep_square)];
    if (piece < PIECE_NB)
        key ^= zobrist_piece[piece][from] ^ zobrist_piece[piece][to];
    if (board.squares[to] < PIECE_NB)
        key ^= zobrist_piece[board.squares[to]][to];
    tt_prefetch(tt, key);
}

// A slot as one thread reads it: each word whole, the key recovered from both.
struct Slot {
    std::uint64_t key;
    int score;
    Move move;
    int depth;
    int bound;
    std::uint8_t age;
    std::uint8_t epoch;
};

static Slot read_slot(TTEntry& entry)
{
    const std::uint64_t data = std::atomic_ref(entry.data).load(std::memory_order_relaxed);
    const std::uint64_t key
        = std::atomic_ref(entry.checked_key).load(std::memory_order_relaxed) ^ data;
    return { key, static_cast<std::int16_t>(data), static_cast<Move>(data >> 16),
        static_cast<std::uint8_t>(data >> 32), static_cast<std::uint8_t>(data >> 40),
        static_cast<std::uint8_t>(data >> 48), static_cast<std::uint8_t>(data >> 56) };
}

TTHit tt_probe(const TranspositionTable& tt, std::uint64_t key, int ply)
{
    if (tt.entries == nullptr)
        return { false, SCORE_NONE, NO_MOVE, 0, 0 };
    const Slot entry = read_slot(tt.entries[key & tt.mask]);
    // A slot from before the last clear reads as a zeroed one: key 0, all fields 0.
    const bool live = entry.epoch == tt.epoch;
    if ((live ? entry.key : 0) != key)
        return { false, SCORE_NONE, NO_MOVE, 0, 0 };
    if (!live)
        return { true, 0, NO_MOVE, 0, BOUND_EXACT };

    int score = entry.score;
    if (is_decisive(score))
        score += score > 0 ? -ply : ply;
    return { true, score, entry.move, entry.depth, entry.bound };
}

void tt_store(
    TranspositionTable& tt, std::uint64_t key, int score, int bound, int depth, Move move, int ply)
{
    if (tt.entries == nullptr)
        return;
    TTEntry& slot    = tt.entries[key & tt.mask];
    const Slot entry = read_slot(slot);

    // A negative depth would otherwise wrap to a depth-255 entry that cuts off everything.
    depth           = depth < 0 ? 0 : depth > 255 ? 255 : depth;
    const bool live = entry.epoch == tt.epoch;
    if (live && entry.key != 0 && entry.key != key && entry.age == tt.generation
        && depth < entry.depth)
        return;

    // Mate scores become distances from this node, so a transposition at another ply reads
    // the right distance. Clamping keeps a stray score from wrapping into the other sign.
    if (is_decisive(score))
        score += score > 0 ? ply : -ply;
    score = score > INT16_MAX ? INT16_MAX : score < -INT16_MAX ? -INT16_MAX : score;

    const std::uint64_t data = static_cast<std::uint16_t>(score) | std::uint64_t(move) << 16
        | std::uint64_t(depth) << 32 | std::uint64_t(bound) << 40
        | std::uint64_t(tt.generation) << 48 | std::uint64_t(tt.epoch) << 56;
    std::atomic_ref(slot.data).store(data, std::memory_order_relaxed);
    std::atomic_ref(slot.checked_key).store(key ^ data, std::memory_order_relaxed);
}

int tt_hashfull(const TranspositionTable& tt)
{
    if (tt.entries == nullptr)
        return 0;
    const std::uint64_t sampled = std::min<std::uint64_t>(tt.mask + 1, 1000);
    std::uint64_t used          = 0;
    for (std::uint64_t i = 0; i < sampled; ++i) {
        const Slot slot = read_slot(tt.entries[i]);
        used += slot.epoch == tt.epoch && slot.age == tt.generation && slot.key != 0;
    }
    return static_cast<int>(used * 1000 / sampled);
}
