#include "MountVolumeAccess.h"

#include <algorithm>

#include "IsLegacyPlatform.h"
#include "MakeTimestamp.h"
#include "PercentFree.h"
#include "VolumeList.h"
#include "VolumeTexts.h"
#include "platform/Format.h"
#include "platform/Status.h"

namespace mountx {
namespace {

// One buffer per text kind for the whole process, shared by every object.
char16_t g_dumpName[kDumpNameUnits];
char16_t g_summaryName[kSummaryNameUnits];
char16_t g_details[kDetailsUnits];

// Copies as much of `text` as fits with its terminator; never half a surrogate pair.
template <std::size_t N> const char16_t* CopyInto(char16_t (&buffer)[N], const std::u16string& text) noexcept
{
    std::size_t n = std::min(text.size(), N - 1);
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    buffer[n] = 0;
    return buffer;
}

} // namespace

MountVolumeAccess::MountVolumeAccess(unsigned driveTypeMask, const char16_t* pluginFolder)
{
    const bool legacy = IsLegacyPlatform();
    m_plugins.Load(pluginFolder, legacy);
    m_volumes = ListDrives(driveTypeMask, legacy, m_plugins);
}

MountVolumeAccess::~MountVolumeAccess()
{
    // The volume list goes first, then the plug-ins (m_plugins' destructor), the text buffer last.
    m_volumes.clear();
    m_volumes.shrink_to_fit();
}

const VolumeRecord* MountVolumeAccess::BeginText(unsigned index) noexcept
{
    m_text[0] = 0;
    return index < m_volumes.size() ? &m_volumes[index] : nullptr;
}

int MountVolumeAccess::GetVolumeCount() { return static_cast<int>(m_volumes.size()); }

const char16_t* MountVolumeAccess::GetVolumeDescription(unsigned index)
{
    try {
        const VolumeRecord* volume = BeginText(index);
        return volume ? CopyInto(m_text, VolumeDescription(*volume)) : m_text;
    } catch (...) {
        m_text[0] = 0;
        return m_text;
    }
}

IVolume* MountVolumeAccess::OpenVolume(unsigned index, int* status)
{
    if (index >= m_volumes.size())
        return nullptr;
    if (status)
        *status = platform::status::kNotSupported;
    PluginRecord* plugin = m_plugins.At(m_volumes[index].pluginIndex);
    if (!plugin || !plugin->volume)
        return nullptr;
    try {
        const std::u16string path = platform::Format(u"\\\\.\\%c:", m_volumes[index].driveLetter);
        plugin->volume->Close();
        const int result = plugin->volume->Open(path.c_str());
        if (status)
            *status = result;
    } catch (...) {
        if (status)
            *status = platform::status::kGenFailure;
    }
    return plugin->volume;
}

const char16_t* MountVolumeAccess::GetDumpFileName(unsigned index)
{
    try {
        const VolumeRecord* volume = BeginText(index);
        return volume ? CopyInto(g_dumpName, DumpFileName(*volume, MakeTimestamp())) : m_text;
    } catch (...) {
        return m_text;
    }
}

const char16_t* MountVolumeAccess::GetSummaryFileName(unsigned index)
{
    try {
        const VolumeRecord* volume = BeginText(index);
        return volume ? CopyInto(g_summaryName, SummaryFileName(*volume, MakeTimestamp())) : m_text;
    } catch (...) {
        return m_text;
    }
}

const char16_t* MountVolumeAccess::GetVolumeCaption(unsigned index)
{
    try {
        const VolumeRecord* volume = BeginText(index);
        return volume ? CopyInto(m_text, VolumeCaption(*volume)) : m_text;
    } catch (...) {
        m_text[0] = 0;
        return m_text;
    }
}

const char16_t* MountVolumeAccess::GetVolumeDetails(unsigned index)
{
    try {
        const VolumeRecord* volume = BeginText(index);
        return volume ? CopyInto(g_details, VolumeDetails(*volume)) : m_text;
    } catch (...) {
        return m_text;
    }
}

void MountVolumeAccess::RefreshFreeSpace(unsigned index)
{
    if (index >= m_volumes.size())
        return;
    try {
        uint64_t totalBytes = 0;
        QueryFreeSpace(m_volumes[index].driveLetter, &m_volumes[index].percentFree, &totalBytes);
    } catch (...) {
        m_volumes[index].percentFree = kUnknownPercentFree;
    }
}

} // namespace mountx
