#pragma once
// The IVolume of fsm0: one NTFS volume behind a drive letter, read-only.

#include <string>

#include "NtfsReader.h"
#include "fsm/shared/ReaderVolume.h"

namespace fsm::ntfs {

struct NtfsTraits {
    static constexpr const char16_t* kFileSystemName = u"NTFS";
    static ClusterCounts Counts(const VolumeFacts& f) { return {f.clusterSize, f.totalClusters, f.clustersInUse}; }
    static std::u16string FactLines(const VolumeFacts& f);
};

using NtfsVolume = ReaderVolume<NtfsReader, NtfsTraits>;

} // namespace fsm::ntfs
