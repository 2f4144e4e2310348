#include "platform/Clock.h"
#include "platform/Version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace platform {
namespace {

int64_t FixedNow() { return 1173951005; }

TEST(ClockTest, TestClockReplacesAndRestores)
{
    SetClockForTesting(&FixedNow);
    EXPECT_EQ(Now(), 1173951005);
    SetClockForTesting(nullptr);
    int64_t before = std::time(nullptr);
    int64_t now = Now();
    EXPECT_GE(now, before);
    EXPECT_LE(now, before + 5);
}

TEST(ClockTest, LocalTimeFollowsTimeZone)
{
    const char* old = std::getenv("TZ");
    std::string saved = old != nullptr ? old : "";
    setenv("TZ", "UTC", 1);
    tzset();
    LocalTime utc = ToLocalTime(1173951005); // 2007-03-15 09:30:05 UTC
    setenv("TZ", "XST-2", 1);
    tzset();
    LocalTime east = ToLocalTime(1173951005);
    if (old != nullptr)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(utc.year, 2007);
    EXPECT_EQ(utc.month, 3);
    EXPECT_EQ(utc.day, 15);
    EXPECT_EQ(utc.hour, 9);
    EXPECT_EQ(utc.minute, 30);
    EXPECT_EQ(utc.second, 5);
    EXPECT_EQ(east.hour, 11);
}

TEST(VersionTest, DefaultAndOverride)
{
    struct Case {
        const char* value;
        uint32_t expected;
    };
    const Case cases[] = {
        {nullptr, 0x0006}, {"4", 4},          {"0x0A04", 0x0A04}, {"0X3", 3},   {"260", 260},
        {"", 0x0006},      {"0x", 0x0006},    {"-4", 0x0006},     {"4 ", 0x0006}, {"abc", 0x0006},
        {"4294967296", 0x0006}, {"4294967295", 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        if (c.value != nullptr)
            setenv("VELKLEVEL2_VERSION_WORD", c.value, 1);
        else
            unsetenv("VELKLEVEL2_VERSION_WORD");
        EXPECT_EQ(GetVersionWord(), c.expected) << (c.value != nullptr ? c.value : "(unset)");
    }
    unsetenv("VELKLEVEL2_VERSION_WORD");
}

} // namespace
} // namespace platform
