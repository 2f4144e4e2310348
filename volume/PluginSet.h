#pragma once
// The volume-system plug-ins a VolumeAccess loaded, in load order. A volume
// refers to its plug-in by the position in this set.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "IVolume.h"
#include "platform/Library.h"

namespace mountx {

constexpr std::size_t kMaxPlugins = 16;
constexpr std::size_t kPluginNameUnits = 64;

struct PluginRecord {
    platform::Library module;
    CreateVolumeFn createEntry = nullptr;
    DeleteVolumeFn deleteEntry = nullptr;
    IVolume* volume = nullptr;
    char16_t fileSystemName[kPluginNameUnits] = {};
};

// The numbers tried, in order: 1, 2, 4 on the legacy family, else 0, 1, 2, 3, 5.
std::vector<int> PluginNumbers(bool legacy);

// The folder, a "/" when the folder is longer than one character and does not
// end in one, then "fsm" and the number. A null folder leaves the search to the
// system.
std::u16string PluginLibraryPath(const char16_t* folder, int number);

class PluginSet {
public:
    PluginSet() = default;
    ~PluginSet();
    PluginSet(const PluginSet&) = delete;
    PluginSet& operator=(const PluginSet&) = delete;

    // Tries every plug-in number; one that does not load, lacks an export or
    // delivers no volume object is skipped.
    void Load(const char16_t* folder, bool legacy);

    int Count() const noexcept { return static_cast<int>(m_records.size()); }
    PluginRecord* At(int index) noexcept;
    // The first plug-in in load order whose file-system name equals `name`
    // exactly; -1 when none does.
    int Find(std::u16string_view name) const noexcept;

private:
    std::vector<std::unique_ptr<PluginRecord>> m_records;
};

} // namespace mountx
