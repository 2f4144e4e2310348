#pragma once
// Our FAT12/16/32 reader: the whole FAT in memory, the bitmap from its
// non-zero entries, and a walk of the directory tree that claims every
// cluster once, so a loop or cross-link ends a chain instead of the walk.

#include <memory>
#include <string>
#include <vector>

#include "FatLayout.h"
#include "VolumeReader.h"

namespace fat {

// Which FAT types a plug-in serves.
enum FatTypeMask : unsigned { kServesFat12 = 1, kServesFat16 = 2, kServesFat32 = 4, kServesAnyFat = 7 };

class FatReader final : public fsread::VolumeReader {
public:
    explicit FatReader(unsigned servedTypes = kServesAnyFat) noexcept : m_served(servedTypes) {}

    int Open(std::unique_ptr<fsread::BlockSource> source) override;
    // The volume's facts alone, without keeping the FAT in memory: what listing
    // a volume asks. Leaves the reader closed.
    int ReadFacts(std::unique_ptr<fsread::BlockSource> source, fsread::VolumeFacts* facts);
    void Close() noexcept override;
    bool IsOpen() const noexcept override { return m_source != nullptr; }
    const fsread::VolumeFacts& Facts() const noexcept override { return m_facts; }
    const fsread::ClusterSet& Allocation() const noexcept override { return m_allocation; }
    fsread::WalkResult Walk(fsread::WalkSink& sink) override;
    std::u16string DetailLines() const override;

    const FatLayout& Layout() const noexcept { return m_layout; }
    // Why the last Open refused the volume, for tools and tests.
    const std::string& RefusalReason() const noexcept { return m_reason; }

private:
    class Walker;
    friend class Walker;

    int OpenWith(std::unique_ptr<fsread::BlockSource> source, bool decodeFat);
    // Counts the clusters in use; with `keep`, also holds the decoded FAT and
    // the allocation bitmap for a walk.
    int LoadFat(bool keep);
    // The FAT entry of a cluster, from memory or, without the decoded FAT, from the volume.
    uint32_t NextCluster(uint32_t cluster);
    std::u16string FindRootLabel();

    unsigned m_served;
    std::unique_ptr<fsread::BlockSource> m_source;
    FatLayout m_layout;
    std::vector<uint32_t> m_next; // the FAT, decoded, indexed by FAT cluster number
    fsread::ClusterSet m_allocation;
    uint64_t m_inUse = 0;
    fsread::VolumeFacts m_facts;
    std::string m_reason;
};

// Size, free space, label and serial of the FAT volume in an image or device.
int ReadVolumeInfo(const std::string& path, fsread::VolumeFacts* facts, unsigned servedTypes = kServesAnyFat);

} // namespace fat
