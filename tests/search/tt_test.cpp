#include <climits>

#include <gtest/gtest.h>

#include "search/tt.h"

namespace {

class TTTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tt_resize(1);
        tt_generation = 0;
    }
    void TearDown() override
    {
        tt_resize(1);
        tt_generation = 0;
    }
};

constexpr std::uint64_t KEY = 0x9E3779B97F4A7C15ULL;
// Same slot as KEY in any table of up to 2^32 entries, different position.
constexpr std::uint64_t OTHER_KEY = KEY ^ (1ULL << 40);

const TTEntry& slot_of(std::uint64_t key) { return tt_table[key & (tt_count - 1)]; }

TEST_F(TTTest, SizingIsTheLargestPowerOfTwoThatFits)
{
    const struct {
        int megabytes;
        std::uint64_t entries;
    } cases[]
        = { { 1, 65536 }, { 64, 4194304 }, { 100, 4194304 }, { 3, 131072 }, { 2048, 134217728 } };
    for (const auto& c : cases) {
        tt_resize(c.megabytes);
        ASSERT_NE(tt_table, nullptr) << c.megabytes;
        EXPECT_EQ(tt_count, c.entries) << c.megabytes;
        EXPECT_LE(tt_count * sizeof(TTEntry), std::uint64_t(c.megabytes) * 1048576);
    }
    // The 2 GB table is zero-filled and usable at its far end.
    const std::uint64_t last = tt_count - 1;
    EXPECT_EQ(tt_table[last].key, 0u);
    tt_store(last, 77, BOUND_EXACT, 3, 1234, 0);
    EXPECT_TRUE(tt_probe(last, 0).found);

    // Below the caller's clamp the table still has one entry rather than none.
    tt_resize(0);
    ASSERT_NE(tt_table, nullptr);
    EXPECT_EQ(tt_count, 1u);
    tt_resize(-5);
    EXPECT_EQ(tt_count, 1u);
}

TEST_F(TTTest, ResizeKeepsTheGenerationAndLosesEntries)
{
    tt_generation = 9;
    tt_store(KEY, 10, BOUND_EXACT, 5, 100, 0);
    tt_resize(2);
    EXPECT_EQ(tt_generation, 9);
    EXPECT_FALSE(tt_probe(KEY, 0).found);
}

TEST_F(TTTest, ProbeHitsOnlyTheWholeKey)
{
    EXPECT_FALSE(tt_probe(KEY, 0).found);
    tt_store(KEY, -123, BOUND_UPPER, 7, 0x1234, 3);
    const TTHit hit = tt_probe(KEY, 11);
    ASSERT_TRUE(hit.found);
    EXPECT_EQ(hit.score, -123);
    EXPECT_EQ(hit.move, 0x1234);
    EXPECT_EQ(hit.depth, 7);
    EXPECT_EQ(hit.bound, BOUND_UPPER);
    EXPECT_EQ(slot_of(KEY).age, 0);
    // Same index bits, different key: a miss.
    EXPECT_FALSE(tt_probe(OTHER_KEY, 0).found);
}

TEST_F(TTTest, ReplacementProtectsOnlyDeeperEntriesOfTheCurrentSearch)
{
    tt_generation = 4;
    tt_store(KEY, 50, BOUND_LOWER, 6, 111, 0); // empty slot: taken

    tt_store(OTHER_KEY, 60, BOUND_EXACT, 5, 222, 0); // shallower, other position: dropped
    EXPECT_EQ(slot_of(KEY).key, KEY);
    EXPECT_EQ(slot_of(KEY).move, 111);
    tt_store(OTHER_KEY, 60, BOUND_EXACT, 0, 222, 0); // a quiescence result: dropped too
    EXPECT_EQ(slot_of(KEY).key, KEY);

    tt_store(OTHER_KEY, 60, BOUND_EXACT, 6, 222, 0); // equal depth: replaces
    EXPECT_EQ(slot_of(KEY).key, OTHER_KEY);
    EXPECT_EQ(slot_of(KEY).score, 60);

    // The same position is always overwritten, even shallower and without a move.
    tt_store(OTHER_KEY, -5, BOUND_UPPER, 1, NO_MOVE, 0);
    const TTEntry& e = slot_of(OTHER_KEY);
    EXPECT_EQ(e.key, OTHER_KEY);
    EXPECT_EQ(e.score, -5);
    EXPECT_EQ(e.move, NO_MOVE);
    EXPECT_EQ(e.depth, 1);
    EXPECT_EQ(e.bound, BOUND_UPPER);
    EXPECT_EQ(e.age, 4);

    // An entry of an earlier search loses its protection, also across the 8-bit wrap.
    tt_store(OTHER_KEY, 0, BOUND_EXACT, 20, 333, 0);
    tt_generation = 5;
    tt_store(KEY, 1, BOUND_EXACT, 2, 444, 0);
    EXPECT_EQ(slot_of(KEY).key, KEY);
    EXPECT_EQ(slot_of(KEY).age, 5);
    tt_generation = 255;
    tt_store(OTHER_KEY, 0, BOUND_EXACT, 20, 333, 0);
    tt_generation = 0;
    tt_store(KEY, 1, BOUND_EXACT, 2, 444, 0);
    EXPECT_EQ(slot_of(KEY).key, KEY);
    EXPECT_EQ(slot_of(KEY).age, 0);
}

TEST_F(TTTest, DepthIsClampedToTheByte)
{
    tt_store(KEY, 0, BOUND_EXACT, 300, 1, 0);
    EXPECT_EQ(tt_probe(KEY, 0).depth, 255);
    tt_store(KEY, 0, BOUND_EXACT, 255, 1, 0);
    EXPECT_EQ(tt_probe(KEY, 0).depth, 255);
    // A negative depth must not wrap into a deep entry.
    tt_store(KEY, 0, BOUND_EXACT, -1, 1, 0);
    EXPECT_EQ(tt_probe(KEY, 0).depth, 0);
}

TEST_F(TTTest, MateScoresAreStoredRelativeToTheStoringPly)
{
    tt_store(KEY, SCORE_MATE - 8, BOUND_EXACT, 3, 0, 5);
    EXPECT_EQ(slot_of(KEY).score, SCORE_MATE - 3);
    EXPECT_EQ(tt_probe(KEY, 2).score, SCORE_MATE - 5);

    tt_store(KEY, -(SCORE_MATE - 8), BOUND_EXACT, 3, 0, 5);
    EXPECT_EQ(slot_of(KEY).score, -(SCORE_MATE - 3));
    EXPECT_EQ(tt_probe(KEY, 2).score, -(SCORE_MATE - 5));

    for (int score : { 29999, -29999, 0, 1234, -777 }) {
        tt_store(KEY, score, BOUND_EXACT, 3, 0, 40);
        EXPECT_EQ(slot_of(KEY).score, score);
        EXPECT_EQ(tt_probe(KEY, 7).score, score);
    }
    // The bound itself counts as a mate score.
    tt_store(KEY, SCORE_MATE_BOUND, BOUND_EXACT, 3, 0, 4);
    EXPECT_EQ(slot_of(KEY).score, SCORE_MATE_BOUND + 4);
    EXPECT_EQ(tt_probe(KEY, 1).score, SCORE_MATE_BOUND + 3);
    tt_store(KEY, -SCORE_MATE_BOUND, BOUND_EXACT, 3, 0, 4);
    EXPECT_EQ(tt_probe(KEY, 1).score, -SCORE_MATE_BOUND - 3);

    // A stray score too large for the field saturates instead of flipping its sign.
    tt_store(KEY, 32760, BOUND_LOWER, 3, 0, 100);
    EXPECT_EQ(slot_of(KEY).score, 32767);
    tt_store(KEY, -32760, BOUND_UPPER, 3, 0, 100);
    EXPECT_EQ(slot_of(KEY).score, -32767);
}

TEST_F(TTTest, ClearEmptiesEveryEntryAndKeepsTheSize)
{
    for (std::uint64_t k = 1; k <= 1000; ++k)
        tt_store(k * 0x100000001ULL, int(k), BOUND_EXACT, 4, Move(k), 0);
    const std::uint64_t count = tt_count;
    tt_clear();
    EXPECT_EQ(tt_count, count);
    for (std::uint64_t k = 1; k <= 1000; ++k)
        EXPECT_FALSE(tt_probe(k * 0x100000001ULL, 0).found);
    for (std::uint64_t i = 0; i < tt_count; ++i)
        ASSERT_EQ(tt_table[i].key, 0u);
}

void expect_no_table()
{
    EXPECT_EQ(tt_table, nullptr);
    EXPECT_EQ(tt_count, 1u);
    tt_store(KEY, 5, BOUND_EXACT, 3, 7, 0);
    EXPECT_FALSE(tt_probe(KEY, 0).found);
    tt_clear();
    EXPECT_FALSE(tt_probe(KEY, 0).found);
}

TEST_F(TTTest, WithoutATableProbesMissAndStoresDoNothing)
{
    tt_free();
    expect_no_table();
    tt_free(); // twice is harmless
    tt_resize(1);
    ASSERT_NE(tt_table, nullptr);
    tt_store(KEY, 5, BOUND_EXACT, 3, 7, 0);
    EXPECT_TRUE(tt_probe(KEY, 0).found);
}

#if defined(__SANITIZE_ADDRESS__)
#define VANTOREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTOREL_ASAN 1
#endif
#endif

TEST_F(TTTest, FailedAllocationLeavesNoTable)
{
#ifdef VANTOREL_ASAN
    GTEST_SKIP() << "the sanitizer aborts on impossible allocations instead of returning null";
#else
    // 2^31 MB is more than any address space holds.
    tt_resize(INT_MAX);
    expect_no_table();
    tt_resize(1);
    EXPECT_EQ(tt_count, 65536u);
    ASSERT_NE(tt_table, nullptr);
#endif
}

} // namespace
