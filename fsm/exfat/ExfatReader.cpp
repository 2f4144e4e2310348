#include "ExfatReader.h"

#include <algorithm>

#include "ExfatDirectory.h"
#include "LittleEndian.h"
#include "platform/Format.h"
#include "platform/Status.h"

namespace exfat {

int ExfatReader::Open(std::unique_ptr<fsread::BlockSource> source)
{
    Close();
    m_reason.clear();
    if (source == nullptr)
        return platform::status::kInvalidParameter;
    ExfatLayout layout;
    int status = ReadBootRegion(*source, &layout, &m_reason);
    if (status != platform::status::kSuccess)
        return status;
    m_layout = layout;
    m_source = std::move(source);
    status = LoadFat();
    if (status == platform::status::kSuccess)
        status = ReadRootEntries();
    if (status != platform::status::kSuccess) {
        std::string reason = m_reason;
        Close();
        m_reason = reason;
        return status;
    }
    m_facts.fileSystemName = u"exFAT";
    m_facts.serial = m_layout.serial;
    m_facts.clusterSize = m_layout.clusterSize;
    m_facts.totalClusters = m_layout.clusterCount;
    m_facts.clustersInUse = static_cast<int64_t>(m_allocation.CountSet());
    m_facts.totalBytes = static_cast<uint64_t>(m_layout.clusterCount) * m_layout.clusterSize;
    m_facts.freeBytes = static_cast<uint64_t>(m_facts.totalClusters - m_facts.clustersInUse) * m_layout.clusterSize;
    return platform::status::kSuccess;
}

void ExfatReader::Close() noexcept
{
    m_source.reset();
    m_next.clear();
    m_next.shrink_to_fit();
    m_allocation.Reset(0);
    m_bitmapRuns.Clear();
    m_upcaseRuns.Clear();
    m_facts = {};
}

int ExfatReader::LoadFat()
{
    // A slice at a time through one small buffer, as the FAT reader does.
    const uint64_t entries = static_cast<uint64_t>(m_layout.clusterCount) + 2;
    constexpr uint64_t kSliceEntries = 32768;
    std::vector<uint8_t> raw(kSliceEntries * 4);
    m_next.clear();
    m_next.reserve(entries);
    for (uint64_t start = 0; start < entries; start += kSliceEntries) {
        uint64_t count = std::min(kSliceEntries, entries - start);
        int status = m_source->Read(m_layout.FatByteOffset() + start * 4, raw.data(), count * 4);
        if (status != platform::status::kSuccess) {
            m_reason = "FAT cannot be read";
            return status;
        }
        for (uint64_t i = 0; i < count; ++i)
            m_next.push_back(fsread::Le32(raw.data() + i * 4));
    }
    return platform::status::kSuccess;
}

bool ExfatReader::ChainRuns(uint32_t first, uint64_t clusters, fsread::RunList* runs) const
{
    runs->Clear();
    fsread::ClusterSet seen;
    seen.Reset(m_layout.clusterCount);
    uint32_t cluster = first;
    for (uint64_t i = 0; i < clusters; ++i) {
        if (cluster < 2 || cluster > m_layout.clusterCount + 1 || seen.Test(cluster - 2))
            return false;
        seen.Set(cluster - 2);
        runs->Append(cluster - 2, 1);
        if (i + 1 < clusters)
            cluster = m_next[cluster];
    }
    return true;
}

int ExfatReader::ReadRootEntries()
{
    // The root's own chain, up to the volume's size, in search of the bitmap.
    fsread::RunList root;
    fsread::ClusterSet seen;
    seen.Reset(m_layout.clusterCount);
    uint32_t cluster = m_layout.rootCluster;
    while (cluster >= 2 && cluster <= m_layout.clusterCount + 1 && !seen.Test(cluster - 2)) {
        seen.Set(cluster - 2);
        root.Append(cluster - 2, 1);
        cluster = m_next[cluster];
    }
    EntrySetParser parser;
    SetEvent event;
    bool haveBitmap = false;
    uint32_t bitmapCluster = 0;
    uint64_t bitmapLength = 0;
    std::vector<uint8_t> block(m_layout.clusterSize);
    bool end = false;
    for (const fsread::Run& run : root.Runs()) {
        for (int64_t i = 0; i < run.length && !end; ++i) {
            auto c = static_cast<uint32_t>(run.first + i + 2);
            if (m_source->Read(m_layout.ClusterOffset(c), block.data(), block.size()) != platform::status::kSuccess) {
                end = true;
                break;
            }
            for (uint32_t at = 0; at + 32 <= block.size() && !end; at += 32) {
                SetKind kind = parser.Feed(block.data() + at, &event);
                if (kind == SetKind::kEnd)
                    end = true;
                else if (kind == SetKind::kLabel && m_facts.label.empty())
                    m_facts.label = event.label;
                else if (kind == SetKind::kUpcase && m_upcaseRuns.Empty())
                    ChainRuns(event.firstCluster,
                              (event.dataLength + m_layout.clusterSize - 1) / m_layout.clusterSize, &m_upcaseRuns);
                else if (kind == SetKind::kBitmap && !haveBitmap &&
                         (m_layout.fatCount == 1 || (event.bitmapFlags & 1) == m_layout.activeFat)) {
                    haveBitmap = true;
                    bitmapCluster = event.firstCluster;
                    bitmapLength = event.dataLength;
                }
            }
        }
    }
    if (!haveBitmap) {
        m_reason = "no allocation bitmap in the root directory";
        return platform::status::kFileCorrupt;
    }
    uint64_t needed = (static_cast<uint64_t>(m_layout.clusterCount) + 7) / 8;
    uint64_t clusters = (needed + m_layout.clusterSize - 1) / m_layout.clusterSize;
    if (bitmapLength < needed || !ChainRuns(bitmapCluster, clusters, &m_bitmapRuns)) {
        m_reason = "allocation bitmap has a bad size or chain";
        return platform::status::kFileCorrupt;
    }
    std::vector<uint8_t> bits(needed);
    uint64_t at = 0;
    for (const fsread::Run& run : m_bitmapRuns.Runs()) {
        uint64_t length = std::min<uint64_t>(needed - at, static_cast<uint64_t>(run.length) * m_layout.clusterSize);
        int status = m_source->Read(m_layout.ClusterOffset(static_cast<uint32_t>(run.first + 2)), bits.data() + at,
                                    length);
        if (status != platform::status::kSuccess) {
            m_reason = "allocation bitmap cannot be read";
            return status;
        }
        at += length;
    }
    m_allocation.Reset(m_layout.clusterCount);
    for (uint64_t i = 0; i < m_layout.clusterCount; ++i) {
        if ((bits[i / 8] >> (i % 8) & 1) != 0)
            m_allocation.Set(i);
    }
    return platform::status::kSuccess;
}

std::u16string ExfatReader::DetailLines() const
{
    const ExfatLayout& l = m_layout;
    return platform::Format(u"File system revision: %u.%02u\nBytes per sector: %u\nCluster size: %u bytes\n"
                            u"Total clusters: %I64d\nClusters in use: %I64d\nFree clusters: %I64d\nFAT copies: %u\n"
                            u"Root directory cluster: %u\nAllocation bitmap cluster: %I64d\n",
                            static_cast<unsigned>(l.revision >> 8), static_cast<unsigned>(l.revision & 0xFF),
                            l.bytesPerSector, l.clusterSize, m_facts.totalClusters, m_facts.clustersInUse,
                            m_facts.totalClusters - m_facts.clustersInUse, l.fatCount, l.rootCluster,
                            m_bitmapRuns.Empty() ? int64_t{0} : m_bitmapRuns.Runs().front().first + 2);
}

int ReadVolumeInfo(const std::string& path, fsread::VolumeFacts* facts)
{
    ExfatReader reader;
    return fsread::ReadVolumeFacts(reader, path, facts);
}

} // namespace exfat
