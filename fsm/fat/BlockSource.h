#pragma once
// The one way the FAT and exFAT readers reach their bytes: read-only, by
// offset, every read checked against the end. A device or image file sits
// behind FileBlockSource; tests and fuzzers hand in memory.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/Status.h"

namespace fsread {

class BlockSource {
public:
    virtual ~BlockSource() = default;
    virtual uint64_t Size() const noexcept = 0;
    // 0 when all `length` bytes at `offset` were read, else a Win32 status;
    // a range reaching past the end is refused as corrupt, never half-read.
    virtual int Read(uint64_t offset, void* buffer, std::size_t length) noexcept = 0;

    bool Contains(uint64_t offset, uint64_t length) const noexcept
    {
        return offset <= Size() && length <= Size() - offset;
    }
};

class MemoryBlockSource final : public BlockSource {
public:
    MemoryBlockSource(const uint8_t* data, std::size_t size) noexcept : m_data(data), m_size(size) {}
    uint64_t Size() const noexcept override { return m_size; }
    int Read(uint64_t offset, void* buffer, std::size_t length) noexcept override
    {
        if (!Contains(offset, length))
            return platform::status::kFileCorrupt;
        if (length != 0)
            std::memcpy(buffer, m_data + offset, length);
        return platform::status::kSuccess;
    }

private:
    const uint8_t* m_data;
    std::size_t m_size;
};

} // namespace fsread
