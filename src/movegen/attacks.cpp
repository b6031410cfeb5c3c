#include "movegen/attacks.h"

#include <cstdio>

Bitboard pawn_attacks[COLOR_NB][SQUARE_NB];
Bitboard knight_attacks[SQUARE_NB];
Bitboard king_attacks[SQUARE_NB];
MagicEntry bishop_magics[SQUARE_NB];
MagicEntry rook_magics[SQUARE_NB];
// Every square's block of attack sets, packed one after the other (5,248 and 102,400 used).
static Bitboard bishop_attack_table[32768];
static Bitboard rook_attack_table[262144];
static std::uint64_t magic_rng_state = 0x1234567890ABCDEFULL;

static constexpr int MAX_MAGIC_TRIES = 100000000;

// Set bits of the step target when it stays on the board (no wrap across an edge).
static Bitboard step_bb(int sq, int df, int dr)
{
    const int f = file_of(sq) + df;
    const int r = rank_of(sq) + dr;
    return (f >= 0 && f < 8 && r >= 0 && r < 8) ? square_bb(make_square(f, r)) : 0;
}

static Bitboard ray_attacks(int sq, Bitboard occupancy, const int (*dirs)[2])
{
    Bitboard attacks = 0;
    for (int d = 0; d < 4; ++d) {
        int f = file_of(sq) + dirs[d][0];
        int r = rank_of(sq) + dirs[d][1];
        while (f >= 0 && f < 8 && r >= 0 && r < 8) {
            const Bitboard bb = square_bb(make_square(f, r));
            attacks |= bb;
            if (occupancy & bb)
                break;
            f += dirs[d][0];
            r += dirs[d][1];
        }
    }
    return attacks;
}

static const int BISHOP_DIRS[4][2] = { { 1, 1 }, { 1, -1 }, { -1, 1 }, { -1, -1 } };
static const int ROOK_DIRS[4][2]   = { { 1, 0 }, { -1, 0 }, { 0, 1 }, { 0, -1 } };

using SlowAttackFn = Bitboard (*)(int sq, Bitboard occupancy);

// Ray walks, from which the magic tables are built.
static Bitboard slow_bishop_attacks(int sq, Bitboard occupancy)
{
    return ray_attacks(sq, occupancy, BISHOP_DIRS);
}
static Bitboard slow_rook_attacks(int sq, Bitboard occupancy)
{
    return ray_attacks(sq, occupancy, ROOK_DIRS);
}

// The rays without their last square on the board edge.
static Bitboard relevant_mask(int sq, const int (*dirs)[2])
{
    Bitboard mask = 0;
    for (int d = 0; d < 4; ++d) {
        int f = file_of(sq) + dirs[d][0];
        int r = rank_of(sq) + dirs[d][1];
        while (f + dirs[d][0] >= 0 && f + dirs[d][0] < 8 && r + dirs[d][1] >= 0
            && r + dirs[d][1] < 8) {
            mask |= square_bb(make_square(f, r));
            f += dirs[d][0];
            r += dirs[d][1];
        }
    }
    return mask;
}

// Scratch of the magic search: every subset of the current mask with its attack set.
static Bitboard subset_occupancy[4096];
static Bitboard subset_attacks[4096];

// The order in which find_magic tests the subsets. Whether a candidate passes does not depend
// on the order, but subsets made only of nearest blockers all have different attack sets, so a
// bad candidate shows itself among them soonest: they go first.
static int test_order[4096];

// Subset i takes the j-th set bit of the mask (from a1 up) when bit j of i is set; the
// carry-rippler walk produces exactly that order.
static void enumerate_subsets(int sq, Bitboard mask, SlowAttackFn slow_attacks)
{
    Bitboard subset = 0;
    int i           = 0;
    do {
        subset_occupancy[i] = subset;
        subset_attacks[i]   = slow_attacks(sq, subset);
        ++i;
        subset = (subset - mask) & mask;
    } while (subset);
    int n = 0;
    for (int k = 0; k < i; ++k)
        if ((subset_occupancy[k] & ~subset_attacks[k]) == 0)
            test_order[n++] = k;
    for (int k = 0; k < i; ++k)
        if ((subset_occupancy[k] & ~subset_attacks[k]) != 0)
            test_order[n++] = k;
}

// xorshift64*
static std::uint64_t next_random()
{
    std::uint64_t x = magic_rng_state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    magic_rng_state = x;
    return x * 0x2545F4914F6CDD1DULL;
}

// A magic for the square, or 0 after MAX_MAGIC_TRIES rejected candidates.
static Bitboard find_magic(int sq, Bitboard mask, int bits, SlowAttackFn slow_attacks)
{
    static Bitboard used[4096];
    const Bitboard* occ = subset_occupancy;
    const Bitboard* ref = subset_attacks;
    // A slot counts as empty unless stamped by the current try, which saves clearing it.
    static std::uint32_t stamp[4096];
    static std::uint32_t current_try = 0;
    const int size                   = 1 << bits;
    enumerate_subsets(sq, mask, slow_attacks);
    for (int tries = 0; tries < MAX_MAGIC_TRIES; ++tries) {
        const Bitboard a         = next_random();
        const Bitboard b         = next_random();
        const Bitboard candidate = a & b & next_random();
        if (popcount((mask * candidate) & 0xFF00000000000000ULL) < 6)
            continue;
        ++current_try;
        bool ok = true;
        for (int n = 0; n < size && ok; ++n) {
            const int i   = test_order[n];
            const int idx = static_cast<int>((occ[i] * candidate) >> (64 - bits));
            if (stamp[idx] != current_try) {
                stamp[idx] = current_try;
                used[idx]  = ref[i];
            } else if (used[idx] != ref[i]) {
                ok = false;
            }
        }
        if (ok)
            return candidate;
    }
    std::fprintf(stderr, "FATAL: failed to find magic for sq %d\n", sq);
    return 0;
}

static void init_sliders(
    MagicEntry* magics, Bitboard* table, const int (*dirs)[2], SlowAttackFn slow_attacks)
{
    int next_slot = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        MagicEntry& e  = magics[sq];
        e.mask         = relevant_mask(sq, dirs);
        const int bits = popcount(e.mask);
        e.shift        = static_cast<std::uint32_t>(64 - bits);
        e.attacks      = table + next_slot;
        next_slot += 1 << bits;
        e.magic = find_magic(sq, e.mask, bits, slow_attacks);
        // find_magic left every subset and its attack set in the scratch arrays.
        for (int i = 0; i < (1 << bits); ++i)
            e.attacks[(subset_occupancy[i] * e.magic) >> e.shift] = subset_attacks[i];
    }
}

void init_attack_tables()
{
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        pawn_attacks[WHITE][sq] = rank_of(sq) < 7 ? step_bb(sq, -1, 1) | step_bb(sq, 1, 1) : 0;
        pawn_attacks[BLACK][sq] = rank_of(sq) > 0 ? step_bb(sq, -1, -1) | step_bb(sq, 1, -1) : 0;
    }
    static const int KNIGHT_STEPS[8][2] = { { 1, 2 }, { 2, 1 }, { 2, -1 }, { 1, -2 }, { -1, -2 },
        { -2, -1 }, { -2, 1 }, { -1, 2 } };
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        knight_attacks[sq] = 0;
        for (const auto& s : KNIGHT_STEPS)
            knight_attacks[sq] |= step_bb(sq, s[0], s[1]);
    }
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        king_attacks[sq] = 0;
        for (int df = -1; df <= 1; ++df)
            for (int dr = -1; dr <= 1; ++dr)
                if (df || dr)
                    king_attacks[sq] |= step_bb(sq, df, dr);
    }
    init_sliders(bishop_magics, bishop_attack_table, BISHOP_DIRS, slow_bishop_attacks);
    init_sliders(rook_magics, rook_attack_table, ROOK_DIRS, slow_rook_attacks);
}
