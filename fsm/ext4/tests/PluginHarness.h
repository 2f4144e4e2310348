#pragma once
// Drives a file-system plug-in the way the engine does, recording everything
// it hands over, and runs the peer tools that serve as oracles.

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/IVolume.h"
#include "platform/Format.h"
#include "platform/Library.h"
#include "platform/Utf.h"

namespace fsmtest {

struct Span {
    int64_t first;
    int64_t length;
    bool operator==(const Span&) const = default;
};

class RecordingSink final : public IFileExtentSink {
public:
    int AddFile(int percent, int, int, int, FileRecord* record) override
    {
        percents.push_back(percent);
        std::vector<Span> spans;
        if (record->extents != nullptr)
            for (uint32_t i = 0; i < record->extents->count; ++i)
                spans.push_back({record->extents->extents()[i].firstCluster, record->extents->extents()[i].length});
        const std::string path = platform::ToUtf8(record->path);
        ++seen[path];
        files[path] = spans;
        nullExtents[path] = record->extents == nullptr;
        ++calls;
        return stopAfter > 0 && calls >= stopAfter ? 0 : 1;
    }
    int EndFiles(int64_t count, int wasInterrupted) override
    {
        ++endCalls;
        filesScanned = count;
        interrupted = wasInterrupted;
        return 1;
    }
    void BeginVolume(uint32_t, uint32_t size, uint32_t, int64_t total, int64_t inUse) override
    {
        ++beginCalls;
        clusterSize = size;
        totalClusters = total;
        clustersInUse = inUse;
    }

    int stopAfter = 0;
    int calls = 0;
    int beginCalls = 0;
    int endCalls = 0;
    uint32_t clusterSize = 0;
    int64_t totalClusters = -1;
    int64_t clustersInUse = -1;
    int64_t filesScanned = -1;
    int interrupted = -1;
    std::vector<int> percents;
    std::map<std::string, std::vector<Span>> files;
    std::map<std::string, int> seen;
    std::map<std::string, bool> nullExtents;
};

class RecordingLog final : public IVolumeLog {
public:
    void Report(const void*, uint32_t, const char16_t* format, ...) override
    {
        va_list args;
        va_start(args, format);
        reports.push_back(platform::ToUtf8(platform::FormatV(format, args)));
        va_end(args);
    }
    bool Mentions(const std::string& word) const
    {
        for (const auto& r : reports)
            if (r.find(word) != std::string::npos)
                return true;
        return false;
    }
    std::string All() const
    {
        std::string all;
        for (const auto& r : reports)
            all += r + "\n";
        return all;
    }
    std::vector<std::string> reports;
};

// One loaded plug-in and its volume object.
class Plugin {
public:
    explicit Plugin(const std::string& path)
    {
        std::string stem = path.substr(0, path.size() - 3); // the naming rule adds ".so" again
        if (!m_library.Load(platform::ToUtf16(stem)))
            return;
        m_create = m_library.Function<CreateVolumeFn>("CreateVolume");
        m_delete = m_library.Function<DeleteVolumeFn>("DeleteVolume");
        if (m_create != nullptr)
            m_create(&volume);
    }
    ~Plugin()
    {
        if (volume != nullptr && m_delete != nullptr) {
            volume->Close();
            m_delete(&volume);
        }
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    platform::Library& Library() { return m_library; }

    IVolume* volume = nullptr;

private:
    platform::Library m_library;
    CreateVolumeFn m_create = nullptr;
    DeleteVolumeFn m_delete = nullptr;
};

inline std::string RunCommand(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    int rc = ::pclose(pipe);
    if (status != nullptr)
        *status = rc;
    return output;
}

inline std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

inline void AddSpan(std::vector<Span>& spans, int64_t first, int64_t length)
{
    if (!spans.empty() && spans.back().first + spans.back().length == first)
        spans.back().length += length;
    else
        spans.push_back({first, length});
}

// A volume table file naming each image under a letter from E on.
inline std::string WriteVolumeTable(const std::string& file, const std::vector<std::pair<char, std::string>>& drives,
                                    const std::string& fsName)
{
    std::ofstream out(file, std::ios::trunc);
    for (const auto& [letter, image] : drives)
        out << letter << "\tfixed\t" << fsName << "\tlabel\t1234ABCD\t-\t-\t" << image << "\n";
    return file;
}

} // namespace fsmtest
