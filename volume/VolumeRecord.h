#pragma once
// One listed volume, as worked out when the VolumeAccess was created.

#include <cstdint>
#include <string>

namespace mountx {

constexpr std::size_t kVolumeTextUnits = 259; // label and file-system name, without terminator

struct VolumeRecord {
    char16_t driveLetter = 0;
    std::u16string fileSystemName;
    double size = 0.0; // gigabytes of 2^30 bytes
    uint32_t serialNumber = 0;
    std::u16string label;
    int pluginIndex = -1;
    int percentFree = 30;
};

} // namespace mountx
