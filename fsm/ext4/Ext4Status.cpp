#include "Ext4Status.h"

#include "platform/Status.h"

namespace fsm::ext4 {

int StatusFromExt2(errcode_t error)
{
    namespace st = platform::status;
    if (error == 0)
        return st::kSuccess;
    if (error > 0 && error < 4096)
        return platform::StatusFromErrno(static_cast<int>(error));
    switch (error) {
    case EXT2_ET_BAD_MAGIC:
    case EXT2_ET_REV_TOO_HIGH:
    case EXT2_ET_UNSUPP_FEATURE:
    case EXT2_ET_RO_UNSUPP_FEATURE:
    case EXT2_ET_UNEXPECTED_BLOCK_SIZE:
        return st::kUnrecognizedVolume;
    case EXT2_ET_NO_MEMORY:
        return st::kNotEnoughMemory;
    case EXT2_ET_BAD_DEVICE_NAME:
        return st::kFileNotFound;
    case EXT2_ET_RO_FILSYS:
        return st::kAccessDenied;
    default:
        // Everything else the library says about a volume it recognised is
        // a structure that failed its checks, a short image among them.
        return st::kFileCorrupt;
    }
}

} // namespace fsm::ext4
