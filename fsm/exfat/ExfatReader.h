#pragma once
// Our exFAT reader: entry sets, NoFatChain runs, the FAT for the rest, and
// the allocation bitmap (not the FAT) for what is in use. Every cluster is
// claimed once during a walk, so loops and cross-links end a chain.

#include <memory>
#include <string>
#include <vector>

#include "ExfatLayout.h"
#include "VolumeReader.h"

namespace exfat {

class ExfatReader final : public fsread::VolumeReader {
public:
    int Open(std::unique_ptr<fsread::BlockSource> source) override;
    void Close() noexcept override;
    bool IsOpen() const noexcept override { return m_source != nullptr; }
    const fsread::VolumeFacts& Facts() const noexcept override { return m_facts; }
    const fsread::ClusterSet& Allocation() const noexcept override { return m_allocation; }
    fsread::WalkResult Walk(fsread::WalkSink& sink) override;
    std::u16string DetailLines() const override;

    const ExfatLayout& Layout() const noexcept { return m_layout; }
    const std::string& RefusalReason() const noexcept { return m_reason; }

private:
    class Walker;
    friend class Walker;

    int LoadFat();
    int ReadRootEntries();
    // The FAT chain of `clusters` clusters from `first`; false when it breaks.
    bool ChainRuns(uint32_t first, uint64_t clusters, fsread::RunList* runs) const;

    std::unique_ptr<fsread::BlockSource> m_source;
    ExfatLayout m_layout;
    std::vector<uint32_t> m_next;
    fsread::ClusterSet m_allocation;
    fsread::RunList m_bitmapRuns;
    fsread::RunList m_upcaseRuns;
    fsread::VolumeFacts m_facts;
    std::string m_reason;
};

// Size, free space, label and serial of the exFAT volume in an image or device.
int ReadVolumeInfo(const std::string& path, fsread::VolumeFacts* facts);

} // namespace exfat
