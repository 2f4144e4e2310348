#pragma once
// The IVolume a plug-in hands to the engine, over one of our readers.

#include <functional>
#include <memory>
#include <string>

#include "IVolume.h"
#include "Records.h"
#include "VolumeReader.h"

namespace fsread {

class PluginVolume final : public IVolume {
public:
    PluginVolume(std::u16string fileSystemName, std::unique_ptr<VolumeReader> reader);
    ~PluginVolume();
    PluginVolume(const PluginVolume&) = delete;
    PluginVolume& operator=(const PluginVolume&) = delete;

    int Open(const char16_t* path) override;
    int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache) override;
    void Close() override;
    void Unused() override {}
    const char16_t* GetFileSystemName() override { return m_name.c_str(); }
    int ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer) override;
    const char16_t* GetDetails() override;

    // Opens an image or device path directly, for tools that have no drive letter.
    int OpenPath(const std::string& path, char16_t letter);

private:
    std::u16string m_name;
    std::unique_ptr<VolumeReader> m_reader;
    std::u16string m_details;
};

} // namespace fsread
