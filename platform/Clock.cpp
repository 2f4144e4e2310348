#include "platform/Clock.h"

#include <atomic>
#include <ctime>

namespace platform {
namespace {
std::atomic<NowFn> g_now{nullptr};
} // namespace

int64_t Now()
{
    NowFn now = g_now.load();
    return now != nullptr ? now() : static_cast<int64_t>(std::time(nullptr));
}

LocalTime ToLocalTime(int64_t seconds)
{
    LocalTime local{};
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (localtime_r(&t, &parts) == nullptr)
        return local;
    local.year = parts.tm_year + 1900;
    local.month = parts.tm_mon + 1;
    local.day = parts.tm_mday;
    local.hour = parts.tm_hour;
    local.minute = parts.tm_min;
    local.second = parts.tm_sec;
    return local;
}

void SetClockForTesting(NowFn now) { g_now.store(now); }

} // namespace platform
