#include "NtfsStatus.h"

#include <cerrno>

#include "platform/Status.h"

namespace fsm::ntfs {

int StatusFromNtfsErrno(int error)
{
    namespace st = platform::status;
    switch (error) {
    case EINVAL: // no NTFS signature, or a boot sector that makes no sense
        return st::kUnrecognizedVolume;
    case EIO:
    case ENXIO:
    case EOVERFLOW:
    case ERANGE:
        // The library's word for metadata that fails its checks or lies
        // beyond the end of the device.
        return st::kFileCorrupt;
    case EOPNOTSUPP:
        return st::kNotSupported;
    case 0:
        return st::kFileCorrupt;
    default:
        return platform::StatusFromErrno(error);
    }
}

} // namespace fsm::ntfs
