#pragma once
// On-disk integers of FAT and exFAT are little-endian and unaligned.

#include <cstdint>

namespace fsread {

inline uint16_t Le16(const uint8_t* p) noexcept { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t Le32(const uint8_t* p) noexcept
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Le64(const uint8_t* p) noexcept
{
    return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

} // namespace fsread
