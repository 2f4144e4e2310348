#pragma once
// The only way a file-system reader touches a volume: positioned reads, never
// writes. A file or device in production, a byte buffer in tests and fuzzing.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fsm {

class ImageSource {
public:
    virtual ~ImageSource() = default;
    // 0, or an errno value; a read that reaches past Size() fails with ENXIO.
    virtual int ReadAt(uint64_t offset, void* buffer, std::size_t size) = 0;
    virtual uint64_t Size() const = 0;
};

// Opens a regular file or block device read-only; 0 or an errno value.
int OpenFileSource(const std::string& path, std::unique_ptr<ImageSource>* source);

std::unique_ptr<ImageSource> MakeMemorySource(std::vector<uint8_t> bytes);

} // namespace fsm
