#pragma once
// One bit per cluster: the allocation bitmap, and the clusters a walk has
// already given to a file (how loops and cross-links are caught).

#include <bit>
#include <cstdint>
#include <vector>

namespace fsread {

class ClusterSet {
public:
    void Reset(uint64_t count)
    {
        m_count = count;
        m_words.assign((count + 63) / 64, 0);
    }
    uint64_t Count() const noexcept { return m_count; }
    bool Test(uint64_t i) const noexcept { return i < m_count && (m_words[i / 64] >> (i % 64) & 1) != 0; }
    void Set(uint64_t i) noexcept
    {
        if (i < m_count)
            m_words[i / 64] |= uint64_t{1} << (i % 64);
    }
    uint64_t CountSet() const noexcept
    {
        uint64_t total = 0;
        for (uint64_t word : m_words)
            total += static_cast<uint64_t>(std::popcount(word));
        return total;
    }
    // Fills `count` bits from `first` into `buffer` (bit i%8 of byte i/8);
    // positions past the end are clear.
    void CopyBits(int64_t first, uint32_t count, uint8_t* buffer) const noexcept;

private:
    uint64_t m_count = 0;
    std::vector<uint64_t> m_words;
};

} // namespace fsread
