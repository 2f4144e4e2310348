#include "platform/Status.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace platform {
namespace {

TEST(StatusTest, TextsAreTheSystemMessages)
{
    EXPECT_EQ(StatusText(0), u"The operation completed successfully.");
    EXPECT_EQ(StatusText(2), u"The system cannot find the file specified.");
    EXPECT_EQ(StatusText(5), u"Access is denied.");
    EXPECT_EQ(StatusText(21), u"The device is not ready.");
    EXPECT_EQ(StatusText(50), u"The request is not supported.");
    EXPECT_EQ(StatusText(1005),
              u"The volume does not contain a recognized file system. Please make sure that all required file "
              u"system drivers are loaded and that the volume is not corrupted.");
    EXPECT_EQ(StatusText(1392), u"The file or directory is corrupted and unreadable.");
    EXPECT_EQ(StatusText(4242), u"Unknown error 4242.");
    EXPECT_EQ(StatusText(-1), u"Unknown error -1.");
}

TEST(StatusTest, EveryNamedCodeHasOneLineText)
{
    using namespace status;
    const int codes[] = {kSuccess, kFileNotFound, kPathNotFound, kAccessDenied, kInvalidDrive, kNotReady,
                         kSharingViolation, kNotSupported, kNetNameDeleted, kInvalidParameter,
                         kCallNotImplemented, kUnrecognizedVolume, kFileCorrupt, kDiskCorrupt, kNotEnoughMemory,
                         kReadFault, kInvalidData, kGenFailure, kFileTooLarge, kNoMoreFiles, kRequestAborted,
                         kBadDevice, kInsufficientBuffer, kInvalidShowWinCommand};
    for (int code : codes) {
        std::u16string text = StatusText(code);
        EXPECT_EQ(text.rfind(u"Unknown error", 0), std::u16string::npos) << code;
        EXPECT_EQ(text.find_first_of(u"\r\n"), std::u16string::npos) << code;
        EXPECT_EQ(text.back(), u'.') << code;
    }
}

TEST(StatusTest, ErrnoMapping)
{
    const std::pair<int, int> cases[] = {
        {ENOENT, 2},   {ENOTDIR, 3},   {EACCES, 5}, {EPERM, 5},  {EROFS, 5},    {ENXIO, 21}, {ENODEV, 21},
        {ENOMEDIUM, 21}, {EBUSY, 32}, {EINVAL, 87}, {ENOMEM, 8}, {EIO, 30},     {EFBIG, 223}, {ELOOP, 31},
        {0, 0},
    };
    for (auto [errnoValue, expected] : cases)
        EXPECT_EQ(StatusFromErrno(errnoValue), expected) << errnoValue;
}

} // namespace
} // namespace platform
