#include "ExfatLayout.h"

#include <cstring>
#include <vector>

#include "LittleEndian.h"
#include "platform/Status.h"

namespace exfat {
namespace {

using fsread::Le16;
using fsread::Le32;
using fsread::Le64;

int Fail(int status, std::string* reason, const char* why)
{
    if (reason != nullptr)
        *reason = why;
    return status;
}

} // namespace

uint32_t BootChecksum(const uint8_t* region, std::size_t bytesPerSector) noexcept
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i < bytesPerSector * 11; ++i) {
        if (i == 106 || i == 107 || i == 112)
            continue; // VolumeFlags and PercentInUse change without a new checksum
        sum = ((sum & 1) != 0 ? 0x80000000u : 0) + (sum >> 1) + region[i];
    }
    return sum;
}

int ReadBootRegion(fsread::BlockSource& source, ExfatLayout* layout, std::string* reason)
{
    constexpr int kUnrecognized = platform::status::kUnrecognizedVolume;
    constexpr int kCorrupt = platform::status::kFileCorrupt;
    uint8_t s[512];
    if (source.Size() < sizeof s)
        return Fail(kUnrecognized, reason, "volume smaller than one sector");
    int status = source.Read(0, s, sizeof s);
    if (status != platform::status::kSuccess)
        return status;
    if (std::memcmp(s + 3, "EXFAT   ", 8) != 0)
        return Fail(kUnrecognized, reason, "no exFAT name in the boot sector");
    for (int i = 11; i < 64; ++i) {
        if (s[i] != 0)
            return Fail(kUnrecognized, reason, "boot sector field that must be zero is not");
    }
    if (s[510] != 0x55 || s[511] != 0xAA)
        return Fail(kCorrupt, reason, "no boot signature");

    ExfatLayout l;
    unsigned sectorShift = s[108];
    unsigned clusterShift = s[109];
    if (sectorShift < 9 || sectorShift > 12)
        return Fail(kCorrupt, reason, "bad bytes-per-sector shift");
    if (clusterShift > 25 - sectorShift)
        return Fail(kCorrupt, reason, "bad sectors-per-cluster shift");
    l.bytesPerSector = 1u << sectorShift;
    l.clusterSize = 1u << (sectorShift + clusterShift);
    l.volumeSectors = Le64(s + 72);
    l.fatOffset = Le32(s + 80);
    l.fatLength = Le32(s + 84);
    l.heapOffset = Le32(s + 88);
    l.clusterCount = Le32(s + 92);
    l.rootCluster = Le32(s + 96);
    l.serial = Le32(s + 100);
    l.revision = Le16(s + 104);
    l.volumeFlags = Le16(s + 106);
    l.fatCount = s[110];
    if (l.fatCount != 1 && l.fatCount != 2)
        return Fail(kCorrupt, reason, "bad number of FATs");
    l.activeFat = (l.volumeFlags & 1) != 0 && l.fatCount == 2 ? 1 : 0;
    if (l.fatOffset < 24 || l.fatLength == 0)
        return Fail(kCorrupt, reason, "bad FAT position");
    if (l.clusterCount == 0 || l.clusterCount > 0xFFFFFFF5u)
        return Fail(kCorrupt, reason, "bad cluster count");
    if (static_cast<uint64_t>(l.fatLength) * l.bytesPerSector < (static_cast<uint64_t>(l.clusterCount) + 2) * 4)
        return Fail(kCorrupt, reason, "FAT too small for the cluster count");
    uint64_t fatEnd = l.fatOffset + static_cast<uint64_t>(l.fatLength) * l.fatCount;
    if (l.heapOffset < fatEnd)
        return Fail(kCorrupt, reason, "cluster heap overlaps the FAT");
    uint64_t heapEnd = l.heapOffset + (static_cast<uint64_t>(l.clusterCount) << clusterShift);
    if (heapEnd > l.volumeSectors)
        return Fail(kCorrupt, reason, "cluster heap larger than the volume");
    if (l.rootCluster < 2 || l.rootCluster > l.clusterCount + 1)
        return Fail(kCorrupt, reason, "root directory cluster out of range");
    if (!source.Contains(0, heapEnd * l.bytesPerSector))
        return Fail(kCorrupt, reason, "volume larger than its image or device");

    std::vector<uint8_t> region(static_cast<std::size_t>(l.bytesPerSector) * 12);
    status = source.Read(0, region.data(), region.size());
    if (status != platform::status::kSuccess)
        return status;
    uint32_t sum = BootChecksum(region.data(), l.bytesPerSector);
    for (uint32_t at = l.bytesPerSector * 11; at < l.bytesPerSector * 12; at += 4) {
        if (Le32(region.data() + at) != sum)
            return Fail(kCorrupt, reason, "boot region checksum does not match");
    }
    *layout = l;
    return platform::status::kSuccess;
}

} // namespace exfat
