#pragma once
// The IVolume of fsm5: one ext4 volume behind a drive letter, read-only.

#include <string>

#include "Ext4Reader.h"
#include "fsm/shared/ReaderVolume.h"

namespace fsm::ext4 {

struct Ext4Traits {
    static constexpr const char16_t* kFileSystemName = u"ext4";
    static ClusterCounts Counts(const VolumeFacts& f) { return {f.blockSize, f.totalBlocks, f.blocksInUse}; }
    static std::u16string FactLines(const VolumeFacts& f);
};

using Ext4Volume = ReaderVolume<Ext4Reader, Ext4Traits>;

} // namespace fsm::ext4
