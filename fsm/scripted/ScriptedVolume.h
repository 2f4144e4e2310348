#pragma once
// The IVolume of the scripted plug-in: serves the script volume behind the
// drive letter it is opened on.

#include <optional>
#include <string>

#include "IVolume.h"
#include "Script.h"

namespace scripted {

class ScriptedVolume final : public IVolume {
public:
    // `fileSystemName` is what GetFileSystemName reports; `libraryName` names
    // this plug-in's file in the details text.
    ScriptedVolume(std::u16string fileSystemName, std::u16string libraryName);
    ~ScriptedVolume() = default;

    int Open(const char16_t* path) override;
    int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache) override;
    void Close() override;
    void Unused() override {}
    const char16_t* GetFileSystemName() override { return m_fileSystemName.c_str(); }
    int ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer) override;
    const char16_t* GetDetails() override;

private:
    std::u16string m_fileSystemName;
    std::u16string m_libraryName;
    std::u16string m_details;
    std::optional<Script> m_script;
};

} // namespace scripted
