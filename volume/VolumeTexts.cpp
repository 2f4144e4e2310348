#include "VolumeTexts.h"

#include "platform/Format.h"

namespace mountx {

std::u16string VolumeDescription(const VolumeRecord& volume)
{
    if (volume.size == 0.0)
        return platform::Format(u"[%s]", volume.fileSystemName.c_str());
    return platform::Format(u"%c:\\ %.2fGB %s [%s]", volume.driveLetter, volume.size, volume.label.c_str(),
                            volume.fileSystemName.c_str());
}

std::u16string VolumeCaption(const VolumeRecord& volume)
{
    return platform::Format(u"%c:\\ %.2fGB; %d%% free", volume.driveLetter, volume.size, volume.percentFree);
}

std::u16string VolumeDetails(const VolumeRecord& volume)
{
    return platform::Format(u"Volume: %c:\\\nVolume name: %s\nSerial number: %08X\nType: %s\nSize: %.2f GB\n",
                            volume.driveLetter, volume.label.c_str(), volume.serialNumber,
                            volume.fileSystemName.c_str(), volume.size);
}

std::u16string DumpFileName(const VolumeRecord& volume, const std::u16string& timestamp)
{
    // The label is part of a bare file name: a "/" in it (possible in a Linux
    // label) would put the dump into another folder.
    std::u16string label = volume.label;
    for (char16_t& c : label)
        if (c == u'/')
            c = u'_';
    return platform::Format(u"Vlm-%c-%s-%08X-%s.txt", volume.driveLetter, label.c_str(), volume.serialNumber,
                            timestamp.c_str());
}

std::u16string SummaryFileName(const VolumeRecord& volume, const std::u16string& timestamp)
{
    return platform::Format(u"ombrix.sum.%c-%s.txt", volume.driveLetter, timestamp.c_str());
}

} // namespace mountx
