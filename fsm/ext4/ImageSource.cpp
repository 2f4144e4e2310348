#include "ImageSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsm {
namespace {

class FileSource final : public ImageSource {
public:
    FileSource(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
    ~FileSource() override { ::close(m_fd); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    int ReadAt(uint64_t offset, void* buffer, std::size_t size) override
    {
        if (offset > m_size || size > m_size - offset)
            return ENXIO;
        auto* out = static_cast<uint8_t*>(buffer);
        while (size > 0) {
            ssize_t got = ::pread(m_fd, out, size, static_cast<off_t>(offset));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (got == 0)
                return ENXIO; // the file shrank under us
            out += got;
            offset += static_cast<uint64_t>(got);
            size -= static_cast<std::size_t>(got);
        }
        return 0;
    }
    uint64_t Size() const override { return m_size; }

private:
    int m_fd;
    uint64_t m_size;
};

class MemorySource final : public ImageSource {
public:
    explicit MemorySource(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    int ReadAt(uint64_t offset, void* buffer, std::size_t size) override
    {
        if (offset > m_bytes.size() || size > m_bytes.size() - offset)
            return ENXIO;
        if (size > 0)
            std::memcpy(buffer, m_bytes.data() + offset, size);
        return 0;
    }
    uint64_t Size() const override { return m_bytes.size(); }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace

int OpenFileSource(const std::string& path, std::unique_ptr<ImageSource>* source)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        return error;
    }
    uint64_t size = 0;
    if (S_ISBLK(st.st_mode)) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
            int error = errno;
            ::close(fd);
            return error;
        }
    } else if (S_ISREG(st.st_mode)) {
        size = static_cast<uint64_t>(st.st_size);
    } else {
        ::close(fd);
        return ENODEV;
    }
    *source = std::make_unique<FileSource>(fd, size);
    return 0;
}

std::unique_ptr<ImageSource> MakeMemorySource(std::vector<uint8_t> bytes)
{
    return std::make_unique<MemorySource>(std::move(bytes));
}

} // namespace fsm
