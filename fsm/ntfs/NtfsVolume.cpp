#include "NtfsVolume.h"

#include "platform/Format.h"

namespace fsm::ntfs {

std::u16string NtfsTraits::FactLines(const VolumeFacts& f)
{
    return platform::Format(u"NTFS version: %d.%d\nCluster size: %u bytes\nClusters: %I64d\n"
                            u"Clusters in use: %I64d\nMFT record size: %u bytes\nMFT size: %I64d bytes\n"
                            u"MFT records: %I64d\n",
                            f.majorVersion, f.minorVersion, f.clusterSize, f.totalClusters, f.clustersInUse,
                            f.mftRecordSize, f.mftBytes, f.mftRecords);
}

} // namespace fsm::ntfs
