#include "FatReader.h"

#include <algorithm>
#include <new>

#include "FatDirectory.h"
#include "FileBlockSource.h"
#include "LittleEndian.h"
#include "platform/Format.h"
#include "platform/Status.h"

namespace fat {

int FatReader::Open(std::unique_ptr<fsread::BlockSource> source)
{
    return OpenWith(std::move(source), true);
}

int FatReader::ReadFacts(std::unique_ptr<fsread::BlockSource> source, fsread::VolumeFacts* facts)
{
    const int status = OpenWith(std::move(source), false);
    if (status == platform::status::kSuccess && facts != nullptr)
        *facts = m_facts;
    Close();
    return status;
}

int FatReader::OpenWith(std::unique_ptr<fsread::BlockSource> source, bool decodeFat)
{
    Close();
    m_reason.clear();
    if (source == nullptr)
        return platform::status::kInvalidParameter;
    uint8_t sector[512];
    if (source->Size() < sizeof sector) {
        m_reason = "volume smaller than one sector";
        return platform::status::kUnrecognizedVolume;
    }
    int status = source->Read(0, sector, sizeof sector);
    if (status != platform::status::kSuccess)
        return status;
    FatLayout layout;
    status = ParseBootSector(sector, sizeof sector, &layout, &m_reason);
    if (status != platform::status::kSuccess)
        return status;
    unsigned typeBit = layout.type == FatType::kFat12 ? kServesFat12
                       : layout.type == FatType::kFat16 ? kServesFat16
                                                        : kServesFat32;
    if ((m_served & typeBit) == 0) {
        m_reason = "FAT type served by another plug-in";
        return platform::status::kUnrecognizedVolume;
    }
    uint64_t dataBytes = static_cast<uint64_t>(layout.clusterCount) * layout.clusterSize;
    if (!source->Contains(layout.dataOffset, dataBytes)) {
        m_reason = "volume larger than its image or device";
        return platform::status::kFileCorrupt;
    }
    m_layout = layout;
    m_source = std::move(source);
    status = LoadFat(decodeFat);
    if (status != platform::status::kSuccess) {
        Close();
        return status;
    }

    m_facts = {};
    m_facts.fileSystemName = m_layout.type == FatType::kFat32 ? u"FAT32" : u"FAT";
    m_facts.serial = m_layout.serial;
    m_facts.label = FindRootLabel();
    if (m_facts.label.empty())
        m_facts.label = m_layout.bootLabel;
    m_facts.clusterSize = m_layout.clusterSize;
    m_facts.totalClusters = m_layout.clusterCount;
    m_facts.clustersInUse = static_cast<int64_t>(m_inUse);
    m_facts.totalBytes = dataBytes;
    m_facts.freeBytes = static_cast<uint64_t>(m_facts.totalClusters - m_facts.clustersInUse) * m_layout.clusterSize;
    return platform::status::kSuccess;
}

void FatReader::Close() noexcept
{
    m_source.reset();
    m_next.clear();
    m_next.shrink_to_fit();
    m_allocation.Reset(0);
    m_facts = {};
}

int FatReader::LoadFat(bool keep)
{
    // Decoded a slice at a time through one small buffer: a whole-FAT copy
    // would cost as much again in page faults as the decoding itself.
    const uint64_t entries = static_cast<uint64_t>(m_layout.clusterCount) + 2;
    const uint64_t fatOffset = m_layout.FatOffset(m_layout.activeFat);
    constexpr uint64_t kSliceEntries = 32768; // even, so FAT12 slices start on a byte
    std::vector<uint8_t> raw(kSliceEntries * 4 + 1);
    std::vector<uint32_t> slice(kSliceEntries);
    m_next.clear();
    if (keep)
        m_next.reserve(entries);
    m_inUse = 0;
    for (uint64_t start = 0; start < entries; start += kSliceEntries) {
        uint64_t count = std::min(kSliceEntries, entries - start);
        uint64_t from;
        uint64_t bytes;
        switch (m_layout.type) {
        case FatType::kFat12:
            from = start * 3 / 2;
            bytes = (count * 3 + 1) / 2;
            break;
        case FatType::kFat16:
            from = start * 2;
            bytes = count * 2;
            break;
        default:
            from = start * 4;
            bytes = count * 4;
            break;
        }
        int status = m_source->Read(fatOffset + from, raw.data(), bytes);
        if (status != platform::status::kSuccess)
            return status;
        raw[bytes] = 0;
        const uint8_t* p = raw.data();
        switch (m_layout.type) {
        case FatType::kFat12:
            for (uint64_t i = 0; i < count; ++i) {
                const uint8_t* q = p + i * 3 / 2;
                slice[i] = (i & 1) != 0 ? static_cast<uint32_t>((q[0] >> 4) | (q[1] << 4))
                                        : static_cast<uint32_t>(q[0] | ((q[1] & 0x0F) << 8));
            }
            break;
        case FatType::kFat16:
            for (uint64_t i = 0; i < count; ++i)
                slice[i] = fsread::Le16(p + i * 2);
            break;
        default:
            for (uint64_t i = 0; i < count; ++i)
                slice[i] = fsread::Le32(p + i * 4) & 0x0FFFFFFF;
            break;
        }
        // Entries 0 and 1 are not clusters.
        for (uint64_t i = start == 0 ? 2 : 0; i < count; ++i)
            m_inUse += slice[i] != 0 ? 1 : 0;
        if (keep)
            m_next.insert(m_next.end(), slice.begin(), slice.begin() + static_cast<std::ptrdiff_t>(count));
    }
    m_allocation.Reset(keep ? m_layout.clusterCount : 0);
    if (keep) {
        for (uint64_t n = 2; n < entries; ++n) {
            if (m_next[n] != 0)
                m_allocation.Set(n - 2);
        }
    }
    return platform::status::kSuccess;
}

uint32_t FatReader::NextCluster(uint32_t cluster)
{
    if (!m_next.empty())
        return m_next[cluster];
    // Without the decoded FAT, one entry is read from the volume.
    const uint64_t fatOffset = m_layout.FatOffset(m_layout.activeFat);
    uint8_t raw[4] = {};
    switch (m_layout.type) {
    case FatType::kFat12:
        if (m_source->Read(fatOffset + uint64_t{cluster} * 3 / 2, raw, 2) != platform::status::kSuccess)
            return 0;
        return (cluster & 1) != 0 ? static_cast<uint32_t>((raw[0] >> 4) | (raw[1] << 4))
                                  : static_cast<uint32_t>(raw[0] | ((raw[1] & 0x0F) << 8));
    case FatType::kFat16:
        if (m_source->Read(fatOffset + uint64_t{cluster} * 2, raw, 2) != platform::status::kSuccess)
            return 0;
        return fsread::Le16(raw);
    default:
        if (m_source->Read(fatOffset + uint64_t{cluster} * 4, raw, 4) != platform::status::kSuccess)
            return 0;
        return fsread::Le32(raw) & 0x0FFFFFFF;
    }
}

std::u16string FatReader::FindRootLabel()
{
    DirectoryParser parser(m_layout.type == FatType::kFat32);
    DirectoryEntry entry;
    std::vector<uint8_t> block;
    auto scan = [&](uint64_t offset, uint64_t length, bool* end) -> std::u16string {
        block.resize(length);
        if (m_source->Read(offset, block.data(), length) != platform::status::kSuccess) {
            *end = true;
            return {};
        }
        for (uint64_t at = 0; at + 32 <= length; at += 32) {
            EntryKind kind = parser.Feed(block.data() + at, &entry);
            if (kind == EntryKind::kLabel)
                return entry.name;
            if (kind == EntryKind::kEnd) {
                *end = true;
                return {};
            }
        }
        return {};
    };
    bool end = false;
    if (m_layout.type != FatType::kFat32)
        return scan(m_layout.rootOffset, m_layout.rootBytes, &end);
    fsread::ClusterSet seen;
    seen.Reset(m_layout.clusterCount);
    uint32_t cluster = m_layout.rootCluster;
    while (!end && cluster >= 2 && cluster <= m_layout.clusterCount + 1 && !seen.Test(cluster - 2)) {
        seen.Set(cluster - 2);
        std::u16string label = scan(m_layout.ClusterOffset(cluster), m_layout.clusterSize, &end);
        if (!label.empty())
            return label;
        cluster = NextCluster(cluster);
    }
    return {};
}

std::u16string FatReader::DetailLines() const
{
    const FatLayout& l = m_layout;
    const char16_t* type = l.type == FatType::kFat12 ? u"FAT12" : l.type == FatType::kFat16 ? u"FAT16" : u"FAT32";
    std::u16string text = platform::Format(
        u"FAT type: %s\nBytes per sector: %u\nCluster size: %u bytes\nTotal clusters: %I64d\n"
        u"Clusters in use: %I64d\nFree clusters: %I64d\nReserved sectors: %u\nFAT copies: %u\nSectors per FAT: %I64u\n",
        type, l.bytesPerSector, l.clusterSize, m_facts.totalClusters, m_facts.clustersInUse,
        m_facts.totalClusters - m_facts.clustersInUse, l.reservedSectors, l.fatCount, l.fatSectors);
    if (l.type == FatType::kFat32)
        text += platform::Format(u"Root directory cluster: %u\n", l.rootCluster);
    else
        text += platform::Format(u"Root directory entries: %u\n", l.rootEntries);
    return text;
}

int ReadVolumeInfo(const std::string& path, fsread::VolumeFacts* facts, unsigned servedTypes)
{
    try {
        std::unique_ptr<fsread::BlockSource> source;
        const int status = fsread::FileBlockSource::Open(path, &source);
        if (status != platform::status::kSuccess)
            return status;
        FatReader reader(servedTypes);
        return reader.ReadFacts(std::move(source), facts);
    } catch (const std::bad_alloc&) {
        return platform::status::kNotEnoughMemory;
    } catch (...) {
        return platform::status::kGenFailure;
    }
}

} // namespace fat
