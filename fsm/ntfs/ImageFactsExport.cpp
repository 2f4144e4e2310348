// Free space, size, label and serial of an NTFS image, for the volume table.
#include "NtfsVolume.h"

extern "C" __attribute__((visibility("default"))) int ReadImageFacts(const char* imagePath, VelkImageFacts* facts)
{
    return fsm::ReadImageFactsWith<fsm::ntfs::NtfsReader, fsm::ntfs::NtfsTraits>(imagePath, facts);
}
