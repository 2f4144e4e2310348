#include "ScriptedVolume.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/Status.h"
#include "platform/VolumeTable.h"

namespace scripted {

ScriptedVolume::ScriptedVolume(std::u16string fileSystemName, std::u16string libraryName)
    : m_fileSystemName(std::move(fileSystemName)), m_libraryName(std::move(libraryName))
{
}

int ScriptedVolume::Open(const char16_t* path)
{
    try {
        Close();
        if (!path)
            return platform::status::kInvalidParameter;
        std::string target;
        if (int rc = platform::ResolveDevicePath(path, &target); rc != 0)
            return rc;
        std::ifstream in(target, std::ios::binary);
        if (!in)
            return platform::StatusFromErrno(errno);
        std::ostringstream content;
        content << in.rdbuf();
        std::string error;
        auto script = ParseScript(content.str(), &error);
        if (!script)
            return content.str().rfind("VelkScript", 0) == 0 ? platform::status::kFileCorrupt
                                                             : platform::status::kUnrecognizedVolume;
        if (script->openStatus != 0)
            return script->openStatus;
        m_script = std::move(script);
        return platform::status::kSuccess;
    } catch (...) {
        m_script.reset();
        return platform::status::kNotEnoughMemory;
    }
}

void ScriptedVolume::Close() { m_script.reset(); }

int ScriptedVolume::EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* /*cache*/)
{
    if (!m_script || !sink)
        return platform::status::kNotReady;
    try {
        const Script& s = *m_script;
        sink->BeginVolume(0, s.clusterSize, 0, s.totalClusters, s.clustersInUse);
        int64_t delivered = 0;
        int interrupted = 0;
        const std::size_t fileCount = s.files.size();
        ExtentListBuffer extents;
        for (const ScriptStep& step : s.steps) {
            if (step.isLog) {
                if (log)
                    log->Report(step.text.data(), static_cast<uint32_t>(step.text.size() * sizeof(char16_t)), u"%s",
                                step.text.c_str());
                continue;
            }
            const ScriptFile& file = s.files[step.file];
            FileRecord record{};
            const std::size_t n = std::min(file.path.size(), kFileRecordPathUnits - 1);
            std::copy(file.path.begin(), file.path.begin() + static_cast<std::ptrdiff_t>(n), record.path);
            extents.clear();
            for (const auto& e : file.extents)
                extents.append(e.first, e.length);
            record.extents = file.nullList ? nullptr : extents.list();
            ++delivered;
            const int percent = static_cast<int>(static_cast<int64_t>(step.file + 1) * 100 / static_cast<int64_t>(fileCount));
            if (sink->AddFile(percent, 0, 0, 0, &record) == 0) {
                interrupted = step.file + 1 < fileCount ? 1 : 0;
                break;
            }
        }
        sink->EndFiles(delivered, interrupted);
        return platform::status::kSuccess;
    } catch (...) {
        return platform::status::kNotEnoughMemory;
    }
}

int ScriptedVolume::ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer)
{
    if (!m_script || !buffer || count == 0 || count > 65536 || firstCluster < 0)
        return 0;
    const Script& s = *m_script;
    if (s.allUnavailable || std::find(s.unavailable.begin(), s.unavailable.end(), firstCluster) != s.unavailable.end())
        return 0;
    std::fill(buffer, buffer + (count + 7) / 8, uint8_t{0});
    // Bits past the volume's last cluster stay clear.
    const int64_t end = std::min<int64_t>(firstCluster + count, s.totalClusters);
    for (const ScriptExtent& run : s.used) {
        if (run.length <= 0 || run.first < 0)
            continue;
        const int64_t from = std::max(run.first, firstCluster);
        const int64_t to = run.first > end - run.length ? end : std::min(run.first + run.length, end);
        for (int64_t c = from; c < to; ++c) {
            const int64_t i = c - firstCluster;
            buffer[i / 8] = static_cast<uint8_t>(buffer[i / 8] | (1u << (i % 8)));
        }
    }
    return 1;
}

const char16_t* ScriptedVolume::GetDetails()
{
    m_details = u"Scripted volume served by " + m_libraryName;
    if (m_script && !m_script->details.empty())
        m_details += u"\n" + m_script->details;
    return m_details.c_str();
}

} // namespace scripted
