#pragma once
// Turns an exFAT directory's 32-byte entries, fed in order, into entry sets:
// a file entry (0x85) with its stream extension (0xC0) and name entries
// (0xC1), and the root's allocation bitmap (0x81) and label (0x83).

#include <array>
#include <cstdint>
#include <string>

namespace exfat {

constexpr uint16_t kAttrDirectory = 0x10;
constexpr uint8_t kFlagAllocationPossible = 0x01;
constexpr uint8_t kFlagNoFatChain = 0x02;

struct FileSet {
    std::u16string name;
    uint16_t attributes = 0;
    uint8_t flags = 0; // of the stream extension
    uint32_t firstCluster = 0;
    uint64_t dataLength = 0;
};

enum class SetKind { kNone, kFile, kBitmap, kUpcase, kLabel, kEnd };

struct SetEvent {
    FileSet file;
    uint8_t bitmapFlags = 0;
    uint32_t firstCluster = 0; // of the bitmap or up-case table
    uint64_t dataLength = 0;
    std::u16string label;
    const char16_t* problem = nullptr; // damage met at this entry; reported by the caller
};

class EntrySetParser {
public:
    SetKind Feed(const uint8_t* raw, SetEvent* event);

private:
    SetKind Finish(SetEvent* event);

    std::array<uint8_t, 19 * 32> m_set{};
    unsigned m_have = 0; // entries collected; 0: no set open
    unsigned m_want = 0;
};

uint16_t EntrySetChecksum(const uint8_t* set, unsigned entries) noexcept;

} // namespace exfat
