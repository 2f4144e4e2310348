#include "MakeTimestamp.h"

#include "platform/Clock.h"
#include "platform/Format.h"

std::u16string MakeTimestamp()
{
    const platform::LocalTime t = platform::ToLocalTime(platform::Now());
    return platform::Format(u"%4d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}
