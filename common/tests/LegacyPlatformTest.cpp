#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/IsLegacyPlatform.h"

// The version word is read once per process: each family runs in a process
// of its own with VELKLEVEL2_VERSION_WORD and EXPECT_LEGACY set.
TEST(LegacyPlatform, FollowsTheVersionWord)
{
    const char* expected = std::getenv("EXPECT_LEGACY");
    const bool legacy = expected != nullptr && std::string(expected) == "1";
    EXPECT_EQ(IsLegacyPlatform(), legacy);
    EXPECT_EQ(IsLegacyPlatform(), legacy);
}
