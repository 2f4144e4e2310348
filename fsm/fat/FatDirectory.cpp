#include "FatDirectory.h"

#include "LittleEndian.h"
#include "OemText.h"

namespace fat {
namespace {

constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kCaseLowerBase = 0x08;
constexpr uint8_t kCaseLowerExtension = 0x10;
constexpr int kLongNameOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

char16_t Lower(char16_t c) noexcept { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::u16string ShortName(const uint8_t* raw)
{
    uint8_t base[8];
    for (int i = 0; i < 8; ++i)
        base[i] = raw[i];
    if (base[0] == 0x05) // a name that starts with 0xE5 is stored with 0x05
        base[0] = 0xE5;
    std::u16string name = OemText(base, 8);
    std::u16string extension = OemText(raw + 8, 3);
    if ((raw[12] & kCaseLowerBase) != 0) {
        for (char16_t& c : name)
            c = Lower(c);
    }
    if ((raw[12] & kCaseLowerExtension) != 0) {
        for (char16_t& c : extension)
            c = Lower(c);
    }
    if (!extension.empty()) {
        name += u'.';
        name += extension;
    }
    return name;
}

} // namespace

uint8_t ShortNameChecksum(const uint8_t* name11) noexcept
{
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i)
        sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    return sum;
}

EntryKind DirectoryParser::Feed(const uint8_t* raw, DirectoryEntry* entry)
{
    if (raw[0] == 0x00)
        return EntryKind::kEnd;
    if (raw[0] == 0xE5) {
        ResetLongName();
        return EntryKind::kNone;
    }
    uint8_t attributes = raw[11];
    if ((attributes & 0x3F) == kAttrLongName) {
        unsigned sequence = raw[0] & 0x1F;
        if ((raw[0] & 0x40) != 0) {
            if (sequence == 0 || sequence > 20) {
                ResetLongName();
                return EntryKind::kNone;
            }
            m_longCount = sequence;
            m_checksum = raw[13];
            m_longName.fill(0xFFFF);
        } else if (m_expected == 0 || sequence != m_expected || raw[13] != m_checksum) {
            ResetLongName();
            return EntryKind::kNone;
        }
        for (int i = 0; i < 13; ++i)
            m_longName[(sequence - 1) * 13 + static_cast<unsigned>(i)] = fsread::Le16(raw + kLongNameOffsets[i]);
        m_expected = sequence - 1;
        if (m_expected == 0)
            m_expected = ~0u; // complete: waits for its short entry
        return EntryKind::kNone;
    }

    bool longNameReady = m_expected == ~0u && ShortNameChecksum(raw) == m_checksum;
    ResetLongName();
    if ((attributes & kAttrVolumeLabel) != 0) {
        entry->name = OemText(raw, 11);
        return EntryKind::kLabel;
    }
    if (raw[0] == '.' && (raw[1] == ' ' || (raw[1] == '.' && raw[2] == ' ')))
        return EntryKind::kNone;

    entry->name.clear();
    if (longNameReady) {
        for (unsigned i = 0; i < m_longCount * 13; ++i) {
            if (m_longName[i] == 0)
                break;
            entry->name.push_back(m_longName[i]);
        }
    }
    if (entry->name.empty())
        entry->name = ShortName(raw);
    entry->attributes = attributes;
    uint32_t high = m_fat32 ? fsread::Le16(raw + 20) : 0;
    entry->firstCluster = (high << 16) | fsread::Le16(raw + 26);
    entry->size = fsread::Le32(raw + 28);
    return EntryKind::kEntry;
}

} // namespace fat
