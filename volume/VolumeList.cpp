#include "VolumeList.h"

#include <cmath>

#include "PercentFree.h"
#include "platform/VolumeTable.h"

namespace mountx {

void QueryFreeSpace(char16_t driveLetter, int* percentFree, uint64_t* totalBytes)
{
    const std::u16string root{driveLetter, u':', u'\\'};
    uint64_t freeBytes = 0, total = 0;
    if (platform::GetDiskFreeSpace(root, &freeBytes, &total)) {
        *percentFree = PercentFree(freeBytes, total);
        *totalBytes = total;
    } else {
        *percentFree = kUnknownPercentFree;
        *totalBytes = kUnknownTotalBytes;
    }
}

std::vector<VolumeRecord> ListDrives(unsigned driveTypeMask, bool legacy, const PluginSet& plugins)
{
    std::vector<VolumeRecord> list;
    const uint32_t drives = platform::GetLogicalDrives();
    for (int n = 2; n < 32 && list.size() < kMaxVolumes; ++n) {
        if (!(drives & (1u << n)))
            continue;
        const char16_t letter = static_cast<char16_t>(u'A' + n);
        const std::u16string root{letter, u':', u'\\'};
        const unsigned type = platform::GetDriveType(root);
        if (type >= 32 || !(driveTypeMask & (1u << type)))
            continue;
        if (legacy && type == platform::drive_type::kRemote)
            continue;
        VolumeRecord record;
        record.driveLetter = letter;
        if (!platform::GetVolumeInformation(root, &record.label, &record.serialNumber, &record.fileSystemName))
            continue;
        if (type == platform::drive_type::kRemote)
            record.fileSystemName = u"Network";
        record.label.resize(std::min(record.label.size(), kVolumeTextUnits));
        record.fileSystemName.resize(std::min(record.fileSystemName.size(), kVolumeTextUnits));
        uint64_t totalBytes = 0;
        QueryFreeSpace(letter, &record.percentFree, &totalBytes);
        record.pluginIndex = plugins.Find(record.fileSystemName);
        if (record.pluginIndex < 0)
            continue;
        record.size = std::ldexp(static_cast<double>(totalBytes), -30);
        list.push_back(std::move(record));
    }
    return list;
}

} // namespace mountx
