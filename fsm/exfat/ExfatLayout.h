#pragma once
// Where an exFAT volume keeps its parts, from its main boot region.

#include <cstddef>
#include <cstdint>
#include <string>

#include "BlockSource.h"

namespace exfat {

struct ExfatLayout {
    uint32_t bytesPerSector = 0;
    uint32_t clusterSize = 0;
    uint64_t volumeSectors = 0;
    uint32_t fatOffset = 0;  // sectors
    uint32_t fatLength = 0;  // sectors
    uint32_t heapOffset = 0; // sectors
    uint32_t clusterCount = 0;
    uint32_t rootCluster = 0;
    uint32_t serial = 0;
    uint16_t revision = 0;
    uint16_t volumeFlags = 0;
    uint32_t fatCount = 0;
    uint32_t activeFat = 0;

    uint64_t FatByteOffset() const noexcept
    {
        return (static_cast<uint64_t>(fatOffset) + static_cast<uint64_t>(activeFat) * fatLength) * bytesPerSector;
    }
    uint64_t ClusterOffset(uint32_t cluster) const noexcept
    {
        return static_cast<uint64_t>(heapOffset) * bytesPerSector + static_cast<uint64_t>(cluster - 2) * clusterSize;
    }
};

// Reads and checks the main boot region (boot sector and its checksum
// sector): 0, 1005 when this is not exFAT (a zeroed boot sector included:
// the backup region is never used in its place), 1392 when the region is
// damaged. `reason` says why.
int ReadBootRegion(fsread::BlockSource& source, ExfatLayout* layout, std::string* reason);

// The checksum over the first 11 sectors that the 12th repeats.
uint32_t BootChecksum(const uint8_t* region, std::size_t bytesPerSector) noexcept;

} // namespace exfat
