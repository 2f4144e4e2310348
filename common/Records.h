#pragma once
// The records a volume-system plug-in hands to the engine. Their byte layout is
// fixed: outside plug-ins build them without our headers.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

constexpr std::size_t kFileRecordPathUnits = 520;

#pragma pack(push, 1)
struct Extent {
    int64_t firstCluster;
    uint8_t reserved1[8];
    int64_t length;
    uint8_t reserved2[8];
};

// A count followed at offset 4 by `count` extents with no padding. Extents are
// reached through extents(): the list is a header over a larger buffer.
struct ExtentList {
    uint32_t count;

    Extent* extents() noexcept { return reinterpret_cast<Extent*>(reinterpret_cast<uint8_t*>(this) + sizeof(count)); }
    const Extent* extents() const noexcept
    {
        return reinterpret_cast<const Extent*>(reinterpret_cast<const uint8_t*>(this) + sizeof(count));
    }
};
#pragma pack(pop)

struct FileRecord {
    char16_t path[kFileRecordPathUnits];
    ExtentList* extents;
};

static_assert(sizeof(Extent) == 32 && alignof(Extent) == 1);
static_assert(offsetof(Extent, firstCluster) == 0 && offsetof(Extent, length) == 16);
static_assert(sizeof(ExtentList) == 4 && alignof(ExtentList) == 1);
static_assert(offsetof(FileRecord, path) == 0 && sizeof(FileRecord::path) == 1040);
static_assert(offsetof(FileRecord, extents) == 1040 && sizeof(FileRecord) == 1040 + sizeof(void*));

// Owns the bytes of one ExtentList; plug-ins and tests fill it per file.
class ExtentListBuffer {
public:
    void clear() { m_bytes.assign(sizeof(uint32_t), 0); }
    void append(int64_t firstCluster, int64_t length)
    {
        if (m_bytes.empty())
            clear();
        Extent extent{};
        extent.firstCluster = firstCluster;
        extent.length = length;
        const auto* raw = reinterpret_cast<const uint8_t*>(&extent);
        m_bytes.insert(m_bytes.end(), raw, raw + sizeof extent);
        uint32_t count = static_cast<uint32_t>((m_bytes.size() - sizeof(uint32_t)) / sizeof(Extent));
        std::memcpy(m_bytes.data(), &count, sizeof count);
    }
    ExtentList* list()
    {
        if (m_bytes.empty())
            clear();
        return reinterpret_cast<ExtentList*>(m_bytes.data());
    }

private:
    std::vector<uint8_t> m_bytes;
};
