#pragma once
#include <cstdint>

namespace platform {

struct LocalTime {
    int year;   // e.g. 2007
    int month;  // 1..12
    int day;    // 1..31
    int hour;   // 0..23
    int minute; // 0..59
    int second; // 0..60
};

// Calendar time in seconds, as time() gives it.
int64_t Now();
LocalTime ToLocalTime(int64_t seconds);

// Tests replace the clock; null restores the system clock.
using NowFn = int64_t (*)();
void SetClockForTesting(NowFn now);

} // namespace platform
