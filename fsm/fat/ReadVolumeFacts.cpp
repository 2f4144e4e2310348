#include "FileBlockSource.h"
#include "VolumeReader.h"

#include <algorithm>
#include <new>

namespace fsread {

int ReadVolumeFacts(VolumeReader& reader, const std::string& path, VolumeFacts* facts)
{
    try {
        std::unique_ptr<BlockSource> source;
        int status = FileBlockSource::Open(path, &source);
        if (status == platform::status::kSuccess)
            status = reader.Open(std::move(source));
        if (status == platform::status::kSuccess && facts != nullptr)
            *facts = reader.Facts();
        reader.Close();
        return status;
    } catch (const std::bad_alloc&) {
        reader.Close();
        return platform::status::kNotEnoughMemory;
    } catch (...) {
        reader.Close();
        return platform::status::kGenFailure;
    }
}

int ReadImageFacts(VolumeReader& reader, const char* path, VelkImageFacts* facts)
{
    if (path == nullptr || facts == nullptr)
        return platform::status::kInvalidParameter;
    VolumeFacts read;
    const int status = ReadVolumeFacts(reader, path, &read);
    if (status == platform::status::kSuccess)
        CopyImageFacts(read, facts);
    return status;
}

void CopyImageFacts(const VolumeFacts& read, VelkImageFacts* facts)
{
    *facts = VelkImageFacts{};
    facts->totalBytes = read.totalBytes;
    facts->freeBytes = read.freeBytes;
    facts->serial = read.serial;
    std::copy_n(read.label.data(), std::min<size_t>(read.label.size(), std::size(facts->label) - 1), facts->label);
}

} // namespace fsread
