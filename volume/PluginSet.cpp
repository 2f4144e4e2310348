#include "PluginSet.h"

#include <algorithm>

#include "platform/Format.h"

namespace mountx {

std::vector<int> PluginNumbers(bool legacy)
{
    if (legacy)
        return {1, 2, 4};
    return {0, 1, 2, 3, 5};
}

std::u16string PluginLibraryPath(const char16_t* folder, int number)
{
    std::u16string path;
    if (folder) {
        path = folder;
        if (path.size() > 1 && path.back() != u'/')
            path += u'/';
    }
    return path + platform::Format(u"fsm%d", number);
}

PluginSet::~PluginSet()
{
    for (auto& record : m_records) {
        if (record->volume && record->deleteEntry) {
            try {
                record->volume->Close();
                record->deleteEntry(&record->volume);
            } catch (...) {
                // A plug-in that throws is still unloaded.
            }
        }
        record->module.Unload();
    }
}

void PluginSet::Load(const char16_t* folder, bool legacy)
{
    for (int number : PluginNumbers(legacy)) {
        if (m_records.size() >= kMaxPlugins)
            break;
        auto record = std::make_unique<PluginRecord>();
        if (!record->module.Load(PluginLibraryPath(folder, number)))
            continue;
        record->createEntry = record->module.Function<CreateVolumeFn>("CreateVolume");
        record->deleteEntry = record->module.Function<DeleteVolumeFn>("DeleteVolume");
        if (!record->createEntry || !record->deleteEntry)
            continue; // the library unloads with the record
        try {
            record->createEntry(&record->volume);
            // Without a volume object the plug-in cannot serve anything.
            if (!record->volume)
                continue;
            const char16_t* name = record->volume->GetFileSystemName();
            if (name) {
                std::size_t n = 0;
                while (n + 1 < kPluginNameUnits && name[n])
                    ++n;
                std::copy(name, name + n, record->fileSystemName);
                record->fileSystemName[n] = 0;
            }
        } catch (...) {
            if (record->volume)
                record->deleteEntry(&record->volume);
            continue;
        }
        m_records.push_back(std::move(record));
    }
}

PluginRecord* PluginSet::At(int index) noexcept
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_records[static_cast<std::size_t>(index)].get();
}

int PluginSet::Find(std::u16string_view name) const noexcept
{
    for (std::size_t i = 0; i < m_records.size(); ++i)
        if (name == std::u16string_view(m_records[i]->fileSystemName))
            return static_cast<int>(i);
    return -1;
}

} // namespace mountx
