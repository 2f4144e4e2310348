#include "ClusterSet.h"

#include <cstring>

namespace fsread {

void ClusterSet::CopyBits(int64_t first, uint32_t count, uint8_t* buffer) const noexcept
{
    std::memset(buffer, 0, (count + 7) / 8);
    if (first < 0)
        return;
    auto start = static_cast<uint64_t>(first);
    if (start >= m_count)
        return;
    uint64_t end = start + count < m_count ? start + count : m_count;
    for (uint64_t c = start; c < end; ++c) {
        if (m_words[c / 64] >> (c % 64) & 1) {
            uint64_t i = c - start;
            buffer[i / 8] = static_cast<uint8_t>(buffer[i / 8] | (1u << (i % 8)));
        }
    }
}

} // namespace fsread
