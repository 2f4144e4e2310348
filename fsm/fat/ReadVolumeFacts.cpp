#include "FileBlockSource.h"
#include "VolumeReader.h"

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

} // namespace fsread
