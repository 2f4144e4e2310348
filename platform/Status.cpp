#include "platform/Status.h"

#include "platform/Format.h"

#include <cerrno>

namespace platform {
namespace {

struct StatusEntry {
    int code;
    const char16_t* text;
};

// Worded as the Win32 system messages, each on one line.
constexpr StatusEntry kStatusTable[] = {
    {status::kSuccess, u"The operation completed successfully."},
    {status::kFileNotFound, u"The system cannot find the file specified."},
    {status::kPathNotFound, u"The system cannot find the path specified."},
    {status::kAccessDenied, u"Access is denied."},
    {status::kNotEnoughMemory, u"Not enough memory resources are available to process this command."},
    {status::kInvalidData, u"The data is invalid."},
    {status::kInvalidDrive, u"The system cannot find the drive specified."},
    {status::kNoMoreFiles, u"There are no more files."},
    {status::kNotReady, u"The device is not ready."},
    {status::kReadFault, u"The system cannot read from the specified device."},
    {status::kGenFailure, u"A device attached to the system is not functioning."},
    {status::kSharingViolation, u"The process cannot access the file because it is being used by another process."},
    {status::kNotSupported, u"The request is not supported."},
    {status::kNetNameDeleted, u"The specified network name is no longer available."},
    {status::kInvalidParameter, u"The parameter is incorrect."},
    {status::kCallNotImplemented, u"This function is not supported on this system."},
    {status::kInsufficientBuffer, u"The data area passed to a system call is too small."},
    {status::kFileTooLarge, u"The file size exceeds the limit allowed and cannot be saved."},
    {status::kUnrecognizedVolume,
     u"The volume does not contain a recognized file system. Please make sure that all required file system "
     u"drivers are loaded and that the volume is not corrupted."},
    {status::kBadDevice, u"The specified device name is invalid."},
    {status::kRequestAborted, u"The request was aborted."},
    {status::kFileCorrupt, u"The file or directory is corrupted and unreadable."},
    {status::kDiskCorrupt, u"The disk structure is corrupted and unreadable."},
    {status::kInvalidShowWinCommand, u"Cannot show or remove the window in the way specified."},
};

} // namespace

std::u16string StatusText(int status)
{
    for (const StatusEntry& entry : kStatusTable) {
        if (entry.code == status)
            return entry.text;
    }
    return Format(u"Unknown error %d.", status);
}

int StatusFromErrno(int errnoValue)
{
    switch (errnoValue) {
    case 0:
        return status::kSuccess;
    case ENOENT:
        return status::kFileNotFound;
    case ENOTDIR:
        return status::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return status::kAccessDenied;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return status::kNotReady;
    case EBUSY:
        return status::kSharingViolation;
    case EINVAL:
        return status::kInvalidParameter;
    case ENOMEM:
        return status::kNotEnoughMemory;
    case EIO:
        return status::kReadFault;
    case EFBIG:
        return status::kFileTooLarge;
    default:
        return status::kGenFailure;
    }
}

} // namespace platform
