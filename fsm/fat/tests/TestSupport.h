#pragma once
// Helpers the FAT and exFAT reader tests share: running the real tools,
// recording what a plug-in hands the engine, and loading a plug-in by file.

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "IVolume.h"
#include "VolumeReader.h"
#include "platform/Format.h"
#include "platform/Library.h"
#include "platform/Utf.h"

namespace fstest {

struct CommandResult {
    int exitCode = -1;
    std::string output;
};

inline CommandResult RunCommand(const std::string& command)
{
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        result.output.append(chunk, got);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline bool HaveTool(const std::string& name)
{
    return RunCommand("command -v " + name + " >/dev/null").exitCode == 0;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// FNV-1a over the whole file: enough to see that a scan changed nothing.
inline uint64_t Digest(const std::string& path)
{
    uint64_t hash = 1469598103934665603ull;
    for (uint8_t byte : ReadBytes(path))
        hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

using Runs = std::vector<std::pair<int64_t, int64_t>>;

// What the engine would be told.
class RecordingSink final : public IFileExtentSink, public IVolumeLog {
public:
    int AddFile(int percent, int, int, int, FileRecord* record) override
    {
        Runs runs;
        if (record->extents != nullptr) {
            for (uint32_t i = 0; i < record->extents->count; ++i) {
                // Packed fields: copied out, never bound to a reference.
                int64_t first = record->extents->extents()[i].firstCluster;
                int64_t length = record->extents->extents()[i].length;
                runs.emplace_back(first, length);
            }
        }
        std::string path = platform::ToUtf8(record->path);
        if (files.count(path) != 0)
            duplicates.push_back(path);
        files[path] = runs;
        order.push_back(path);
        percents.push_back(percent);
        return order.size() == stopAfter ? 0 : 1;
    }
    int EndFiles(int64_t scanned, int interrupted) override
    {
        ++endCalls;
        filesScanned = scanned;
        wasInterrupted = interrupted;
        return 1;
    }
    void BeginVolume(uint32_t, uint32_t size, uint32_t, int64_t total, int64_t inUse) override
    {
        ++beginCalls;
        clusterSize = size;
        totalClusters = total;
        clustersInUse = inUse;
    }
    void Report(const void*, uint32_t, const char16_t* format, ...) override
    {
        va_list args;
        va_start(args, format);
        reports.push_back(platform::ToUtf8(platform::FormatV(format, args)));
        va_end(args);
    }
    bool Reported(const std::string& fragment) const
    {
        for (const std::string& report : reports) {
            if (report.find(fragment) != std::string::npos)
                return true;
        }
        return false;
    }

    std::size_t stopAfter = 0; // 0: never stop
    std::map<std::string, Runs> files;
    std::vector<std::string> order;
    std::vector<std::string> duplicates;
    std::vector<int> percents;
    std::vector<std::string> reports;
    int beginCalls = 0;
    int endCalls = 0;
    uint32_t clusterSize = 0;
    int64_t totalClusters = 0;
    int64_t clustersInUse = 0;
    int64_t filesScanned = -1;
    int wasInterrupted = -1;
};

// Collects a reader's walk without the plug-in layer.
class WalkRecorder final : public fsread::WalkSink {
public:
    bool OnFile(int, std::u16string_view path, const fsread::RunList& runs) override
    {
        Runs copy;
        for (const fsread::Run& run : runs.Runs())
            copy.emplace_back(run.first, run.length);
        files[platform::ToUtf8(path)] = copy;
        return true;
    }
    void OnDamage(std::u16string_view text) override { damage.push_back(platform::ToUtf8(text)); }
    bool Damaged(const std::string& fragment) const
    {
        for (const std::string& text : damage) {
            if (text.find(fragment) != std::string::npos)
                return true;
        }
        return false;
    }
    std::map<std::string, Runs> files;
    std::vector<std::string> damage;
};

// A loaded plug-in and its one volume object.
class Plugin {
public:
    explicit Plugin(const std::string& file)
    {
        if (!m_library.Load(platform::ToUtf16(file)))
            return;
        auto create = m_library.Function<CreateVolumeFn>("CreateVolume");
        m_delete = m_library.Function<DeleteVolumeFn>("DeleteVolume");
        if (create != nullptr && m_delete != nullptr)
            create(&m_volume);
    }
    ~Plugin()
    {
        if (m_volume != nullptr)
            m_delete(&m_volume);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    IVolume* operator->() const { return m_volume; }
    IVolume* Get() const { return m_volume; }
    std::string Error() const { return m_library.Error(); }

private:
    platform::Library m_library;
    DeleteVolumeFn m_delete = nullptr;
    IVolume* m_volume = nullptr;
};

// Points the volume table at one image under letter `letter`.
inline void UseVolumeTable(const std::string& tableFile, char letter, const std::string& fsName,
                           const std::string& image)
{
    std::ofstream out(tableFile, std::ios::trunc);
    out << letter << "\tfixed\t" << fsName << "\tTEST\t0\t-\t-\t" << image << "\n";
    out.close();
    ::setenv("VELKLEVEL2_VOLUME_TABLE", tableFile.c_str(), 1);
}

} // namespace fstest
