#pragma once
// Turns a FAT directory's 32-byte entries, fed in order, into named entries:
// long names (checked against their short entry's checksum), 8.3 names with
// the NT lower-case bits, deleted entries and volume labels skipped.

#include <array>
#include <cstdint>
#include <string>

namespace fat {

constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kAttrVolumeLabel = 0x08;

struct DirectoryEntry {
    std::u16string name;
    uint8_t attributes = 0;
    uint32_t firstCluster = 0;
    uint32_t size = 0;
};

enum class EntryKind { kNone, kEntry, kLabel, kEnd };

class DirectoryParser {
public:
    explicit DirectoryParser(bool fat32) noexcept : m_fat32(fat32) {}
    // kEntry fills *entry (never "." or ".."); kLabel fills entry->name;
    // kEnd: the directory ends here.
    EntryKind Feed(const uint8_t* raw, DirectoryEntry* entry);

private:
    void ResetLongName() noexcept { m_expected = 0; }

    bool m_fat32;
    std::array<char16_t, 20 * 13> m_longName{};
    unsigned m_longCount = 0;
    unsigned m_expected = 0; // next sequence number wanted; 0: none in progress
    uint8_t m_checksum = 0;
};

uint8_t ShortNameChecksum(const uint8_t* name11) noexcept;

} // namespace fat
