// Free space, size, label and serial of an ext4 image, for the volume table.
#include <algorithm>

#include "Ext4Reader.h"
#include "common/ImageFacts.h"
#include "platform/Status.h"

extern "C" __attribute__((visibility("default"))) int ReadImageFacts(const char* imagePath, VelkImageFacts* facts)
{
    if (imagePath == nullptr || facts == nullptr)
        return platform::status::kInvalidParameter;
    try {
        fsm::ext4::Ext4Reader reader;
        int status = reader.OpenPath(imagePath);
        if (status != 0)
            return status;
        const auto& f = reader.Facts();
        *facts = VelkImageFacts{};
        facts->totalBytes = static_cast<uint64_t>(f.totalBlocks) * f.blockSize;
        facts->freeBytes = static_cast<uint64_t>(f.totalBlocks - f.blocksInUse) * f.blockSize;
        facts->serial = f.serial;
        const std::size_t units = std::min<std::size_t>(f.label.size(), 63);
        std::copy_n(f.label.data(), units, facts->label);
        return 0;
    } catch (...) {
        return platform::status::kNotEnoughMemory;
    }
}
