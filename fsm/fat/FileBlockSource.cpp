#include "FileBlockSource.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsread {

int FileBlockSource::Open(const std::string& path, std::unique_ptr<BlockSource>* source)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return platform::StatusFromErrno(errno);
    struct stat info {};
    uint64_t size = 0;
    int status = platform::status::kSuccess;
    if (::fstat(fd, &info) != 0) {
        status = platform::StatusFromErrno(errno);
    } else if (S_ISREG(info.st_mode)) {
        size = static_cast<uint64_t>(info.st_size);
    } else if (S_ISBLK(info.st_mode)) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0)
            status = platform::StatusFromErrno(errno);
    } else {
        status = platform::status::kUnrecognizedVolume;
    }
    if (status != platform::status::kSuccess) {
        ::close(fd);
        return status;
    }
    source->reset(new FileBlockSource(fd, size));
    return platform::status::kSuccess;
}

FileBlockSource::~FileBlockSource() { ::close(m_fd); }

int FileBlockSource::Read(uint64_t offset, void* buffer, std::size_t length) noexcept
{
    if (!Contains(offset, length))
        return platform::status::kFileCorrupt;
    auto* out = static_cast<uint8_t*>(buffer);
    while (length > 0) {
        ssize_t got = ::pread(m_fd, out, length, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno == EIO ? platform::status::kReadFault : platform::StatusFromErrno(errno);
        }
        if (got == 0)
            return platform::status::kFileCorrupt; // the file shrank under us
        out += got;
        offset += static_cast<uint64_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return platform::status::kSuccess;
}

} // namespace fsread
