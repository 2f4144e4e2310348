#pragma once
#include <cstdint>

namespace engine {

// Cluster arithmetic in 128 bits: no sum or product of the 64-bit figures a
// plug-in reports can overflow it.
__extension__ using Int128 = __int128;

inline int64_t ClampToInt64(Int128 value) noexcept
{
    if (value > INT64_MAX)
        return INT64_MAX;
    if (value < INT64_MIN)
        return INT64_MIN;
    return static_cast<int64_t>(value);
}

} // namespace engine
