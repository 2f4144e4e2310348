// The word-at-a-time cluster map and run counter against the plain
// cluster-at-a-time rules, on random volumes.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/ClusterMap.h"
#include "engine/RunCounter.h"

namespace {

// Marking one cluster at a time.
struct ReferenceMap {
    std::vector<uint8_t> bytes;

    bool Mark(int64_t first, int64_t length)
    {
        bool overlap = false;
        if (length <= 0)
            return false;
        for (int64_t c = first; c < first + length; ++c) {
            if (c < 0 || static_cast<uint64_t>(c / 8) >= bytes.size()) {
                overlap = true;
                continue;
            }
            const uint8_t bit = static_cast<uint8_t>(1u << (c % 8));
            if (!overlap)
                overlap = (bytes[static_cast<size_t>(c / 8)] & bit) != 0;
            bytes[static_cast<size_t>(c / 8)] |= bit;
        }
        return overlap;
    }
};

// Measuring runs one bit at a time.
struct ReferenceRuns {
    enum { None, Used, Free } state = None;
    int64_t usedRun = 0, freeRun = 0, usedCount = 0, freeCount = 0;
    double b = 0, c = 0;

    void Feed(const uint8_t* bits, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            if ((bits[i / 8] >> (i % 8)) & 1) {
                ++usedCount;
                if (state == Free)
                    c += static_cast<double>(freeRun) * static_cast<double>(freeRun);
                ++usedRun;
                state = Used;
                freeRun = 0;
            } else {
                ++freeCount;
                if (state == Used)
                    b += static_cast<double>(usedRun) * static_cast<double>(usedRun);
                ++freeRun;
                state = Free;
                usedRun = 0;
            }
        }
    }
    void Close()
    {
        if (state == Free)
            c += static_cast<double>(freeRun) * static_cast<double>(freeRun);
        if (state == Used)
            b += static_cast<double>(usedRun) * static_cast<double>(usedRun);
    }
};

} // namespace

TEST(MarkingEquivalence, RandomVolumes)
{
    std::mt19937_64 random(20261211);
    for (int round = 0; round < 300; ++round) {
        const int64_t clusters = std::uniform_int_distribution<int64_t>(1, 5000)(random);
        const uint64_t bytes = static_cast<uint64_t>(clusters + 8) / 8;
        engine::ClusterMap map;
        ASSERT_TRUE(map.Prepare(bytes));
        ReferenceMap reference{std::vector<uint8_t>(bytes, 0)};

        const int extents = std::uniform_int_distribution<int>(0, 200)(random);
        for (int e = 0; e < extents; ++e) {
            // Mostly inside the map, sometimes across or past its ends.
            const int64_t first = std::uniform_int_distribution<int64_t>(-70, clusters + 70)(random);
            const int64_t length = std::uniform_int_distribution<int64_t>(-3, random() % 4 == 0 ? 900 : 40)(random);
            ASSERT_EQ(map.Mark(first, length), reference.Mark(first, length))
                << "round " << round << " extent " << first << "+" << length;
        }
        ASSERT_EQ(std::vector<uint8_t>(map.Data(), map.Data() + map.Size()), reference.bytes) << round;

        // Feed the map in chunks of random lengths, as a bitmap pass whose
        // volume delivers chunks of any size would, and stop at a random one.
        engine::RunCounter runs;
        ReferenceRuns expected;
        const size_t total = static_cast<size_t>(bytes * 8);
        const size_t stopAt = random() % 3 == 0 ? std::uniform_int_distribution<size_t>(0, total)(random) : total;
        std::vector<uint8_t> chunk;
        for (size_t at = 0; at < stopAt;) {
            const size_t count = std::min<size_t>(stopAt - at, std::uniform_int_distribution<size_t>(1, 700)(random));
            chunk.assign((count + 7) / 8 + 1, 0);
            for (size_t i = 0; i < count; ++i)
                if ((map.Data()[(at + i) / 8] >> ((at + i) % 8)) & 1)
                    chunk[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
            // Stray bits past the chunk's end must be ignored.
            chunk.back() = 0xFF;
            if (count % 8 != 0)
                chunk[count / 8] |= static_cast<uint8_t>(0xFF << (count % 8));
            runs.Feed(chunk.data(), count);
            expected.Feed(chunk.data(), count);
            at += count;
        }
        runs.CloseRun();
        expected.Close();
        ASSERT_EQ(runs.UsedCount(), expected.usedCount) << round;
        ASSERT_EQ(runs.FreeCount(), expected.freeCount) << round;
        ASSERT_EQ(runs.UsedSquares(), expected.b) << round;
        ASSERT_EQ(runs.FreeSquares(), expected.c) << round;
    }
}

TEST(MarkingEquivalence, MapGrowsAndClearsOnlyWhatIsAsked)
{
    engine::ClusterMap map;
    ASSERT_TRUE(map.Prepare(10));
    EXPECT_FALSE(map.Mark(0, 80));
    ASSERT_TRUE(map.Prepare(3)); // keeps 10 bytes, clears 3
    EXPECT_EQ(map.Size(), 10u);
    EXPECT_FALSE(map.Mark(0, 24));
    EXPECT_TRUE(map.Mark(24, 1));
    EXPECT_TRUE(map.Mark(79, 2)); // 80 lies past the map
    EXPECT_TRUE(map.Mark(INT64_MAX - 2, INT64_MAX));
    EXPECT_FALSE(map.Mark(5, 0));
    EXPECT_FALSE(map.Prepare(uint64_t{1} << 62)); // no such memory: an empty map, no crash
    EXPECT_EQ(map.Size(), 0u);
    EXPECT_TRUE(map.Mark(0, 1));
}
