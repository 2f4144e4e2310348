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
        // Whole words, so that marking may read and write the map a word at a
        // time; the padding is never marked.
        void* storage = std::calloc(static_cast<size_t>((bytes + 7) / 8 * 8), 1);
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

// Bits [from, to] of a 64-bit word, 0 <= from <= to < 64.
inline uint64_t BitRange(unsigned from, unsigned to) noexcept
{
    const uint64_t upTo = to == 63 ? ~uint64_t{0} : (uint64_t{1} << (to + 1)) - 1;
    return upTo & (~uint64_t{0} << from);
}

// The map is read and written as little-endian 64-bit words: word w holds
// clusters 64w to 64w + 63, the same bits as bytes 8w to 8w + 7.
inline bool TestAndSet(uint8_t* word, uint64_t mask) noexcept
{
    uint64_t value;
    std::memcpy(&value, word, 8);
    const bool seen = (value & mask) != 0;
    value |= mask;
    std::memcpy(word, &value, 8);
    return seen;
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

    const uint64_t from = static_cast<uint64_t>(lo);
    const uint64_t last = static_cast<uint64_t>(hi) - 1;
    const uint64_t firstWord = from / 64;
    const uint64_t lastWord = last / 64;
    uint8_t* words = m_bytes.get();
    if (firstWord == lastWord)
        return TestAndSet(words + firstWord * 8, BitRange(from % 64, last % 64)) || overlap;

    bool seen = TestAndSet(words + firstWord * 8, BitRange(from % 64, 63));
    constexpr uint64_t kAllSet = ~uint64_t{0};
    uint64_t middle = 0;
    for (uint64_t w = firstWord + 1; w < lastWord; ++w) {
        uint64_t value;
        std::memcpy(&value, words + w * 8, 8);
        middle |= value;
        std::memcpy(words + w * 8, &kAllSet, 8);
    }
    seen = TestAndSet(words + lastWord * 8, BitRange(0, last % 64)) || seen || middle != 0;
    return seen || overlap;
}

} // namespace engine
