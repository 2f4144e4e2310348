#include "ExfatDirectory.h"

#include <cstring>

#include "LittleEndian.h"

namespace exfat {
namespace {

constexpr uint8_t kTypeEnd = 0x00;
constexpr uint8_t kTypeBitmap = 0x81;
constexpr uint8_t kTypeUpcase = 0x82;
constexpr uint8_t kTypeLabel = 0x83;
constexpr uint8_t kTypeFile = 0x85;
constexpr uint8_t kTypeStream = 0xC0;
constexpr uint8_t kTypeName = 0xC1;

bool InUse(uint8_t type) noexcept { return (type & 0x80) != 0; }
bool IsSecondary(uint8_t type) noexcept { return (type & 0x40) != 0; }

} // namespace

uint16_t EntrySetChecksum(const uint8_t* set, unsigned entries) noexcept
{
    uint16_t sum = 0;
    for (unsigned i = 0; i < entries * 32; ++i) {
        if (i == 2 || i == 3)
            continue;
        sum = static_cast<uint16_t>(((sum & 1) != 0 ? 0x8000 : 0) + (sum >> 1) + set[i]);
    }
    return sum;
}

SetKind EntrySetParser::Feed(const uint8_t* raw, SetEvent* event)
{
    event->problem = nullptr;
    uint8_t type = raw[0];
    if (m_have != 0) {
        if (InUse(type) && IsSecondary(type)) {
            std::memcpy(m_set.data() + m_have * 32, raw, 32);
            if (++m_have == m_want)
                return Finish(event);
            return SetKind::kNone;
        }
        m_have = 0;
        event->problem = u"entry set is cut short";
    }
    if (type == kTypeEnd)
        return SetKind::kEnd;
    if (!InUse(type) || IsSecondary(type))
        return SetKind::kNone;
    switch (type) {
    case kTypeFile: {
        unsigned secondaries = raw[1];
        if (secondaries < 2 || secondaries > 18) {
            event->problem = u"file entry has a bad secondary count";
            return SetKind::kNone;
        }
        std::memcpy(m_set.data(), raw, 32);
        m_have = 1;
        m_want = secondaries + 1;
        return SetKind::kNone;
    }
    case kTypeBitmap:
    case kTypeUpcase:
        event->bitmapFlags = raw[1];
        event->firstCluster = fsread::Le32(raw + 20);
        event->dataLength = fsread::Le64(raw + 24);
        return type == kTypeBitmap ? SetKind::kBitmap : SetKind::kUpcase;
    case kTypeLabel: {
        unsigned count = raw[1] <= 11 ? raw[1] : 11;
        event->label.clear();
        for (unsigned i = 0; i < count; ++i)
            event->label.push_back(fsread::Le16(raw + 2 + 2 * i));
        return SetKind::kLabel;
    }
    default:
        return SetKind::kNone;
    }
}

SetKind EntrySetParser::Finish(SetEvent* event)
{
    unsigned entries = m_have;
    m_have = 0;
    const uint8_t* set = m_set.data();
    const uint8_t* stream = set + 32;
    if (stream[0] != kTypeStream) {
        event->problem = u"file entry has no stream extension";
        return SetKind::kNone;
    }
    if (EntrySetChecksum(set, entries) != fsread::Le16(set + 2))
        event->problem = u"entry set checksum does not match";
    FileSet& file = event->file;
    file.attributes = fsread::Le16(set + 4);
    file.flags = stream[1];
    file.firstCluster = fsread::Le32(stream + 20);
    file.dataLength = fsread::Le64(stream + 24);
    file.name.clear();
    unsigned nameLength = stream[3];
    for (unsigned e = 2; e < entries && file.name.size() < nameLength; ++e) {
        const uint8_t* entry = set + e * 32;
        if (entry[0] != kTypeName)
            continue;
        for (unsigned i = 0; i < 15 && file.name.size() < nameLength; ++i)
            file.name.push_back(fsread::Le16(entry + 2 + 2 * i));
    }
    if (file.name.size() < nameLength && event->problem == nullptr)
        event->problem = u"file name is incomplete";
    if (file.name.empty()) {
        event->problem = u"file entry has no name";
        return SetKind::kNone;
    }
    return SetKind::kFile;
}

} // namespace exfat
