#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "common/MakeTimestamp.h"
#include "platform/Clock.h"

namespace {
int64_t g_now;
int64_t FakeNow()
{
    return g_now;
}
} // namespace

TEST(MakeTimestamp, FourteenDigitsOfLocalTime)
{
    setenv("TZ", "UTC", 1);
    tzset();
    platform::SetClockForTesting(&FakeNow);
    const std::pair<int64_t, std::u16string> cases[] = {
        {1173951005, u"20070315093005"}, // 2007-03-15 09:30:05
        {946684799, u"19991231235959"},
        {0, u"19700101000000"},
    };
    for (const auto& [seconds, text] : cases) {
        g_now = seconds;
        EXPECT_EQ(MakeTimestamp(), text);
    }
    platform::SetClockForTesting(nullptr);
}
