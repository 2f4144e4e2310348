#include "FatLayout.h"

#include "LittleEndian.h"
#include "OemText.h"
#include "platform/Status.h"

namespace fat {
namespace {

using fsread::Le16;
using fsread::Le32;

constexpr uint32_t kMaxFat12Clusters = 4084;
constexpr uint32_t kMaxFat16Clusters = 65524;
constexpr uint32_t kMaxFat32Clusters = 0x0FFFFFF5;

bool IsPowerOfTwo(uint32_t value) noexcept { return value != 0 && (value & (value - 1)) == 0; }

int Refuse(std::string* reason, const char* why)
{
    if (reason != nullptr)
        *reason = why;
    return platform::status::kUnrecognizedVolume;
}

} // namespace

int ParseBootSector(const uint8_t* s, std::size_t size, FatLayout* layout, std::string* reason)
{
    if (size < 512)
        return Refuse(reason, "volume smaller than one sector");
    if (s[0] != 0xEB && s[0] != 0xE9)
        return Refuse(reason, "no jump instruction at the start of the boot sector");
    FatLayout l;
    l.bytesPerSector = Le16(s + 11);
    l.sectorsPerCluster = s[13];
    l.reservedSectors = Le16(s + 14);
    l.fatCount = s[16];
    l.rootEntries = Le16(s + 17);
    uint32_t totalSectors16 = Le16(s + 19);
    uint32_t fatSectors16 = Le16(s + 22);
    uint32_t totalSectors32 = Le32(s + 32);
    uint32_t fatSectors32 = Le32(s + 36);

    if (l.bytesPerSector < 512 || l.bytesPerSector > 4096 || !IsPowerOfTwo(l.bytesPerSector))
        return Refuse(reason, "bad bytes per sector");
    if (!IsPowerOfTwo(l.sectorsPerCluster))
        return Refuse(reason, "bad sectors per cluster");
    if (l.reservedSectors == 0)
        return Refuse(reason, "no reserved sectors");
    if (l.fatCount == 0 || l.fatCount > 16)
        return Refuse(reason, "bad number of FATs");
    l.clusterSize = l.bytesPerSector * l.sectorsPerCluster;
    l.totalSectors = totalSectors16 != 0 ? totalSectors16 : totalSectors32;
    l.fatSectors = fatSectors16 != 0 ? fatSectors16 : fatSectors32;
    if (l.totalSectors == 0 || l.fatSectors == 0)
        return Refuse(reason, "no sectors or no FAT");

    uint64_t rootSectors = (static_cast<uint64_t>(l.rootEntries) * 32 + l.bytesPerSector - 1) / l.bytesPerSector;
    uint64_t metaSectors = l.reservedSectors + l.fatCount * l.fatSectors + rootSectors;
    if (metaSectors >= l.totalSectors)
        return Refuse(reason, "no room for a data area");
    uint64_t clusters = (l.totalSectors - metaSectors) / l.sectorsPerCluster;
    if (clusters == 0)
        return Refuse(reason, "no data clusters");
    if (clusters > kMaxFat32Clusters)
        return Refuse(reason, "more clusters than FAT32 can number");
    l.clusterCount = static_cast<uint32_t>(clusters);

    // The cluster count alone says which FAT this is; the layout must agree.
    bool fat32Layout = fatSectors16 == 0;
    if (l.clusterCount <= kMaxFat12Clusters)
        l.type = FatType::kFat12;
    else if (l.clusterCount <= kMaxFat16Clusters)
        l.type = FatType::kFat16;
    else
        l.type = FatType::kFat32;
    if (fat32Layout != (l.type == FatType::kFat32))
        return Refuse(reason, "cluster count does not match the FAT layout");
    if (l.type == FatType::kFat32 ? l.rootEntries != 0 : l.rootEntries == 0)
        return Refuse(reason, "root directory does not match the FAT type");

    uint64_t entryBits = l.type == FatType::kFat12 ? 12 : l.type == FatType::kFat16 ? 16 : 32;
    if (l.fatSectors * l.bytesPerSector * 8 / entryBits < static_cast<uint64_t>(l.clusterCount) + 2)
        return Refuse(reason, "FAT too small for the cluster count");

    l.rootOffset = (static_cast<uint64_t>(l.reservedSectors) + l.fatCount * l.fatSectors) * l.bytesPerSector;
    l.rootBytes = rootSectors * l.bytesPerSector;
    l.dataOffset = metaSectors * l.bytesPerSector;

    const uint8_t* extended = s + 36;
    if (l.type == FatType::kFat32) {
        uint16_t flags = Le16(s + 40);
        if ((flags & 0x80) != 0) {
            l.activeFat = flags & 0x0F;
            if (l.activeFat >= l.fatCount)
                return Refuse(reason, "active FAT out of range");
        }
        l.rootCluster = Le32(s + 44);
        if (l.rootCluster < 2 || l.rootCluster > l.clusterCount + 1)
            return Refuse(reason, "root cluster out of range");
        extended = s + 64;
    }
    if (extended[2] == 0x29 || extended[2] == 0x28)
        l.serial = Le32(extended + 3);
    if (extended[2] == 0x29) {
        l.bootLabel = OemText(extended + 7, 11);
        if (l.bootLabel == u"NO NAME")
            l.bootLabel.clear();
    }
    *layout = l;
    return platform::status::kSuccess;
}

} // namespace fat
