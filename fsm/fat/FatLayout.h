#pragma once
// Where a FAT volume keeps its parts, from its boot sector.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fat {

enum class FatType { kFat12, kFat16, kFat32 };

struct FatLayout {
    FatType type = FatType::kFat12;
    uint32_t bytesPerSector = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t clusterSize = 0;
    uint32_t reservedSectors = 0;
    uint32_t fatCount = 0;
    uint32_t activeFat = 0;    // the FAT to read when mirroring is off (FAT32)
    uint64_t fatSectors = 0;   // of one FAT
    uint32_t rootEntries = 0;  // fixed root area of FAT12/16
    uint64_t totalSectors = 0;
    uint64_t rootOffset = 0;   // byte offset of the fixed root area
    uint64_t rootBytes = 0;
    uint64_t dataOffset = 0;   // byte offset of cluster 2
    uint32_t clusterCount = 0; // data clusters, numbered 2 .. clusterCount + 1
    uint32_t rootCluster = 0;  // FAT32
    uint32_t serial = 0;
    std::u16string bootLabel;  // from the boot sector; the root's label entry wins

    uint64_t FatOffset(uint32_t index) const noexcept
    {
        return (static_cast<uint64_t>(reservedSectors) + index * fatSectors) * bytesPerSector;
    }
    uint64_t ClusterOffset(uint32_t cluster) const noexcept
    {
        return dataOffset + static_cast<uint64_t>(cluster - 2) * clusterSize;
    }
};

// Reads the layout from the first sector: 0, or 1005 when this is not a FAT
// volume we can trust (a zeroed or nonsensical boot sector is never replaced
// by a backup). `reason` says why.
int ParseBootSector(const uint8_t* sector, std::size_t size, FatLayout* layout, std::string* reason);

} // namespace fat
