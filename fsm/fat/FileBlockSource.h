#pragma once
#include <memory>
#include <string>

#include "BlockSource.h"

namespace fsread {

// A block device or image file opened read-only (O_RDONLY: nothing here can
// write to a volume).
class FileBlockSource final : public BlockSource {
public:
    // 0 and *source set, or the Win32 status of the failure.
    static int Open(const std::string& path, std::unique_ptr<BlockSource>* source);

    ~FileBlockSource() override;
    FileBlockSource(const FileBlockSource&) = delete;
    FileBlockSource& operator=(const FileBlockSource&) = delete;

    uint64_t Size() const noexcept override { return m_size; }
    int Read(uint64_t offset, void* buffer, std::size_t length) noexcept override;

private:
    FileBlockSource(int fd, uint64_t size) noexcept : m_fd(fd), m_size(size) {}
    int m_fd;
    uint64_t m_size;
};

} // namespace fsread
