// tt.cpp: the transposition table.
#include "search/tt.h"

#include <cstdlib>
#include <cstring>

#include "eval/eval.h"

static TTEntry* tt_table      = nullptr; // nullptr when the allocation failed
static std::uint64_t tt_count = 1; // entries, a power of two
std::uint8_t tt_generation    = 0;

void tt_free()
{
    std::free(tt_table);
    tt_table = nullptr;
    tt_count = 1;
}

void tt_resize(int megabytes)
{
    // Release first, so the old and the new table never need memory at the same time.
    tt_free();

    const std::int64_t bytes = static_cast<std::int64_t>(megabytes) * 1048576;
    std::uint64_t count      = 1;
    if (bytes >= 32)
        while (static_cast<std::int64_t>(count * 32) <= bytes)
            count *= 2;

    // calloc hands out fresh zero pages for large blocks, so even 2 GB costs nothing up front.
    tt_table = static_cast<TTEntry*>(std::calloc(count, sizeof(TTEntry)));
    if (tt_table != nullptr)
        tt_count = count;
}

void tt_clear()
{
    // The evaluation cache goes with it, so that a cleared search starts from nothing.
    clear_eval_cache();
    if (tt_table != nullptr)
        std::memset(static_cast<void*>(tt_table), 0, tt_count * sizeof(TTEntry));
}

TTHit tt_probe(std::uint64_t key, int ply)
{
    if (tt_table == nullptr)
        return { false, SCORE_NONE, NO_MOVE, 0, 0 };
    const TTEntry& entry = tt_table[key & (tt_count - 1)];
    if (entry.key != key)
        return { false, SCORE_NONE, NO_MOVE, 0, 0 };

    int score = entry.score;
    if (score >= SCORE_MATE_BOUND)
        score -= ply;
    else if (score <= -SCORE_MATE_BOUND)
        score += ply;
    return { true, score, entry.move, entry.depth, entry.bound };
}

void tt_store(std::uint64_t key, int score, int bound, int depth, Move move, int ply)
{
    if (tt_table == nullptr)
        return;
    TTEntry& entry = tt_table[key & (tt_count - 1)];

    // A negative depth would otherwise wrap to a depth-255 entry that cuts off everything.
    depth = depth < 0 ? 0 : depth > 255 ? 255 : depth;
    if (entry.key != 0 && entry.key != key && entry.age == tt_generation && depth < entry.depth)
        return;

    // Mate scores become distances from this node, so a transposition at another ply reads
    // the right distance. Clamping keeps a stray score from wrapping into the other sign.
    if (score >= SCORE_MATE_BOUND)
        score += ply;
    else if (score <= -SCORE_MATE_BOUND)
        score -= ply;
    score = score > INT16_MAX ? INT16_MAX : score < -INT16_MAX ? -INT16_MAX : score;

    entry.key   = key;
    entry.score = static_cast<std::int16_t>(score);
    entry.move  = move;
    entry.depth = static_cast<std::uint8_t>(depth);
    entry.bound = static_cast<std::uint8_t>(bound);
    entry.age   = tt_generation;
}
