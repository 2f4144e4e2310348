#pragma once
// A fuzz input as the first bytes of a 64 MiB volume whose rest is zeros.

#include <algorithm>
#include <cstring>

#include "BlockSource.h"

namespace fuzzing {

class ZeroPaddedSource final : public fsread::BlockSource {
public:
    static constexpr uint64_t kSize = uint64_t{64} << 20;
    ZeroPaddedSource(const uint8_t* data, std::size_t size) noexcept : m_data(data), m_size(size) {}
    uint64_t Size() const noexcept override { return std::max<uint64_t>(kSize, m_size); }
    int Read(uint64_t offset, void* buffer, std::size_t length) noexcept override
    {
        if (!Contains(offset, length))
            return platform::status::kFileCorrupt;
        auto* out = static_cast<uint8_t*>(buffer);
        std::memset(out, 0, length);
        if (offset < m_size)
            std::memcpy(out, m_data + offset, std::min<uint64_t>(length, m_size - offset));
        return platform::status::kSuccess;
    }

private:
    const uint8_t* m_data;
    std::size_t m_size;
};

} // namespace fuzzing
