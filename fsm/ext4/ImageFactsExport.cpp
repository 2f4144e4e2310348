// Free space, size, label and serial of an ext4 image, for the volume table.
#include "Ext4Volume.h"

extern "C" __attribute__((visibility("default"))) int ReadImageFacts(const char* imagePath, VelkImageFacts* facts)
{
    return fsm::ReadImageFactsWith<fsm::ext4::Ext4Reader, fsm::ext4::Ext4Traits>(imagePath, facts);
}
