#pragma once
#include <string>

namespace platform {

// Win32 status codes the system passes around, with their message texts, in one
// table. Codes used: 0, 2, 3, 5, 15, 21, 32, 50, 63, 87, 120, 1005, 1392, 1449.
namespace status {
constexpr int kSuccess = 0;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kInvalidDrive = 15;
constexpr int kNotReady = 21;
constexpr int kSharingViolation = 32;
constexpr int kNotSupported = 50;
constexpr int kNetNameDeleted = 63;
constexpr int kInvalidParameter = 87;
constexpr int kCallNotImplemented = 120;
constexpr int kUnrecognizedVolume = 1005;
constexpr int kFileCorrupt = 1392;
constexpr int kDiskCorrupt = 1393;
constexpr int kNotEnoughMemory = 8;
constexpr int kReadFault = 30;
constexpr int kInvalidData = 13;
constexpr int kGenFailure = 31;
constexpr int kFileTooLarge = 223;
constexpr int kNoMoreFiles = 18;
constexpr int kRequestAborted = 1235;
constexpr int kBadDevice = 1200;
constexpr int kInsufficientBuffer = 122;
// What a volume plug-in's Open returns on a platform it does not support.
constexpr int kInvalidShowWinCommand = 1449;
} // namespace status

// The system message text of a status, without a trailing line break; an
// unknown code gives "Unknown error N.".
std::u16string StatusText(int status);

// The Win32 status that stands for an errno value (ENOENT -> 2, EACCES -> 5, ...).
int StatusFromErrno(int errnoValue);

} // namespace platform
