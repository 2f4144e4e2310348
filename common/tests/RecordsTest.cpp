#include <gtest/gtest.h>

#include <cstring>

#include "common/Records.h"

TEST(Records, ExtentListBufferLaysOutCountThenPackedExtents)
{
    ExtentListBuffer buffer;
    EXPECT_EQ(buffer.list()->count, 0u);
    buffer.append(12345, 3);
    buffer.append(-1, INT64_MAX);
    const ExtentList* list = buffer.list();
    ASSERT_EQ(list->count, 2u);
    const auto* bytes = reinterpret_cast<const uint8_t*>(list);
    int64_t first, length;
    std::memcpy(&first, bytes + 4 + 32, 8);
    std::memcpy(&length, bytes + 4 + 32 + 16, 8);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(length, INT64_MAX);
    const int64_t firstOfFirst = list->extents()[0].firstCluster; // packed: copy before comparing
    const int64_t lengthOfFirst = list->extents()[0].length;
    EXPECT_EQ(firstOfFirst, 12345);
    EXPECT_EQ(lengthOfFirst, 3);
    buffer.clear();
    EXPECT_EQ(buffer.list()->count, 0u);
}
