#pragma once
// The IVolume of fsm0: one NTFS volume behind a drive letter, read-only.

#include <string>

#include "NtfsReader.h"
#include "common/IVolume.h"

namespace fsm::ntfs {

class NtfsVolume final : public IVolume {
public:
    NtfsVolume() = default;
    ~NtfsVolume() = default;
    NtfsVolume(const NtfsVolume&) = delete;
    NtfsVolume& operator=(const NtfsVolume&) = delete;

    int Open(const char16_t* path) override;
    int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache) override;
    void Close() override;
    void Unused() override {}
    const char16_t* GetFileSystemName() override { return u"NTFS"; }
    int ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer) override;
    const char16_t* GetDetails() override;

    // Opens an image or device by its file path, bypassing the volume table.
    int OpenTarget(const std::string& target, char16_t letter);

private:
    int Walk(IFileExtentSink* sink, IVolumeLog* log);

    NtfsReader m_reader;
    char16_t m_letter = u'?';
    std::u16string m_details;
};

} // namespace fsm::ntfs
