#pragma once
// The IVolume of fsm5: one ext4 volume behind a drive letter, read-only.

#include <string>

#include "Ext4Reader.h"
#include "common/IVolume.h"

namespace fsm::ext4 {

class Ext4Volume final : public IVolume {
public:
    Ext4Volume() = default;
    ~Ext4Volume() = default;
    Ext4Volume(const Ext4Volume&) = delete;
    Ext4Volume& operator=(const Ext4Volume&) = delete;

    int Open(const char16_t* path) override;
    int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache) override;
    void Close() override;
    void Unused() override {}
    const char16_t* GetFileSystemName() override { return u"ext4"; }
    int ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer) override;
    const char16_t* GetDetails() override;

    // Opens an image or device by its file path, bypassing the volume table.
    int OpenTarget(const std::string& target, char16_t letter);

private:
    int Walk(IFileExtentSink* sink, IVolumeLog* log);

    Ext4Reader m_reader;
    char16_t m_letter = u'?';
    std::u16string m_details;
};

} // namespace fsm::ext4
