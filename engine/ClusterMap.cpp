#include "ClusterMap.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "Int128.h"

namespace engine {

bool ClusterMap::Prepare(uint64_t bytes) noexcept
{
    if (bytes > m_size) {
        m_bytes.reset();
        m_size = 0;
        // A map larger than the machine's memory would only be paged to death
        // (or killed) later: refuse it now. calloc hands back zeroed pages
        // without touching them first.
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGESIZE);
        if (pages > 0 && pageSize > 0 && bytes > static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize))
            return false;
        void* storage = std::calloc(static_cast<size_t>(bytes), 1);
        if (storage == nullptr)
            return false;
        m_bytes.reset(static_cast<uint8_t*>(storage));
        m_size = bytes;
        return true;
    }
    if (bytes > 0)
        std::memset(m_bytes.get(), 0, static_cast<size_t>(bytes));
    return true;
}

namespace {

// Bits [from, to) of one byte, 0 <= from < to <= 8.
inline uint8_t BitRange(unsigned from, unsigned to) noexcept
{
    return static_cast<uint8_t>(((1u << (to - from)) - 1u) << from);
}

// Tests and sets bytes [begin, end) whole; true when any bit was set before.
bool TestAndFill(uint8_t* begin, uint8_t* end) noexcept
{
    constexpr uint64_t kAllSet = ~uint64_t{0};
    uint64_t seen = 0;
    uint8_t* p = begin;
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        seen |= word;
        std::memcpy(p, &kAllSet, 8);
    }
    for (; p < end; ++p) {
        seen |= *p;
        *p = 0xFF;
    }
    return seen != 0;
}

} // namespace

bool ClusterMap::Mark(int64_t first, int64_t length) noexcept
{
    if (length <= 0)
        return false;
    const Int128 mapBits = static_cast<Int128>(m_size) * 8;
    const Int128 begin = first;
    const Int128 end = begin + length; // exclusive; cannot overflow in 128 bits
    bool overlap = begin < 0 || end > mapBits;
    const Int128 lo = begin < 0 ? 0 : begin;
    const Int128 hi = end > mapBits ? mapBits : end;
    if (lo >= hi)
        return overlap;

    uint64_t from = static_cast<uint64_t>(lo);
    const uint64_t to = static_cast<uint64_t>(hi);
    uint8_t* bytes = m_bytes.get();

    if (from / 8 == (to - 1) / 8) { // inside one byte
        const uint8_t mask = BitRange(from % 8, static_cast<unsigned>((to - 1) % 8 + 1));
        overlap = overlap || (bytes[from / 8] & mask) != 0;
        bytes[from / 8] |= mask;
        return overlap;
    }
    if (from % 8 != 0) { // head of a partial byte
        const uint8_t mask = BitRange(from % 8, 8);
        overlap = overlap || (bytes[from / 8] & mask) != 0;
        bytes[from / 8] |= mask;
        from = (from / 8 + 1) * 8;
    }
    const uint64_t wholeEnd = to / 8;
    if (from / 8 < wholeEnd)
        overlap = TestAndFill(bytes + from / 8, bytes + wholeEnd) || overlap;
    if (to % 8 != 0) { // tail of a partial byte
        const uint8_t mask = BitRange(0, to % 8);
        overlap = overlap || (bytes[wholeEnd] & mask) != 0;
        bytes[wholeEnd] |= mask;
    }
    return overlap;
}

} // namespace engine
