#pragma once
// The VolumeAccess object mountx hands out: plug-ins and volumes fixed at
// creation, texts in buffers it owns.

#include <vector>

#include "PluginSet.h"
#include "VolumeAccess.h"
#include "VolumeRecord.h"

namespace mountx {

constexpr std::size_t kTextBufferUnits = 260;
constexpr std::size_t kDumpNameUnits = 260;
constexpr std::size_t kSummaryNameUnits = 128;
constexpr std::size_t kDetailsUnits = 520;

class MountVolumeAccess final : public VolumeAccess {
public:
    MountVolumeAccess(unsigned driveTypeMask, const char16_t* pluginFolder);
    ~MountVolumeAccess() override;
    MountVolumeAccess(const MountVolumeAccess&) = delete;
    MountVolumeAccess& operator=(const MountVolumeAccess&) = delete;

    int GetVolumeCount() override;
    const char16_t* GetVolumeDescription(unsigned index) override;
    IVolume* OpenVolume(unsigned index, int* status) override;
    const char16_t* GetDumpFileName(unsigned index) override;
    const char16_t* GetSummaryFileName(unsigned index) override;
    const char16_t* GetVolumeCaption(unsigned index) override;
    const char16_t* GetVolumeDetails(unsigned index) override;
    void RefreshFreeSpace(unsigned index) override;

private:
    // Empties the object's text buffer and gives the volume at index, or null.
    const VolumeRecord* BeginText(unsigned index) noexcept;

    PluginSet m_plugins;
    std::vector<VolumeRecord> m_volumes;
    char16_t m_text[kTextBufferUnits] = {};
};

} // namespace mountx
