#pragma once
// A volume served from memory, scripted by each test: files with extents, a
// bitmap (or chunks it cannot deliver), log messages and misbehaviours.

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/IVolume.h"

namespace enginetest {

struct ScriptedFile {
    std::u16string path;
    std::vector<std::pair<int64_t, int64_t>> extents; // (first cluster, length)
    bool noList = false;                              // hand over a null extent list
};

struct LogMessage {
    size_t beforeFile; // sent before the file with this index is added
    std::vector<uint8_t> data;
    std::u16string text; // handed over as "%s"
};

class ScriptedVolume : public IVolume {
public:
    uint32_t clusterSize = 4096;
    int64_t totalClusters = 0;
    int64_t clustersInUse = 0;
    std::vector<ScriptedFile> files;
    std::vector<bool> bitmap;       // empty: every chunk "not available"
    std::set<int64_t> missingChunks; // first clusters of chunks it cannot deliver
    std::vector<LogMessage> messages;
    bool skipBegin = false;
    bool skipEnd = false;
    std::vector<std::pair<int64_t, uint32_t>> bitmapReads;
    void* cacheSeen = nullptr;

    int Open(const char16_t*) override { return 0; }
    void Close() override {}
    void Unused() override {}
    const char16_t* GetFileSystemName() override { return u"Scripted"; }
    const char16_t* GetDetails() override { return nullptr; }

    int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache) override
    {
        cacheSeen = cache;
        if (!skipBegin)
            sink->BeginVolume(0, clusterSize, 0, totalClusters, clustersInUse);
        int64_t added = 0;
        bool stopped = false;
        for (size_t i = 0; i < files.size(); ++i) {
            for (const LogMessage& m : messages)
                if (m.beforeFile == i)
                    log->Report(m.data.data(), static_cast<uint32_t>(m.data.size()), u"%s", m.text.c_str());
            FileRecord record{};
            std::memcpy(record.path, files[i].path.c_str(),
                        std::min(files[i].path.size() + 1, kFileRecordPathUnits) * sizeof(char16_t));
            ExtentListBuffer buffer;
            for (auto [first, length] : files[i].extents)
                buffer.append(first, length);
            record.extents = files[i].noList ? nullptr : buffer.list();
            ++added;
            const int percent = static_cast<int>((i + 1) * 100 / files.size());
            if (sink->AddFile(percent, 0, 0, 0, &record) == 0) {
                stopped = true;
                break;
            }
        }
        if (!skipEnd)
            sink->EndFiles(added, stopped ? 1 : 0);
        return 0;
    }

    int ReadBitmap(int64_t first, uint32_t count, uint8_t* buffer) override
    {
        bitmapReads.emplace_back(first, count);
        if (bitmap.empty() || missingChunks.count(first) != 0)
            return 0;
        for (uint32_t i = 0; i < count; ++i) {
            const int64_t cluster = first + i;
            if (cluster < static_cast<int64_t>(bitmap.size()) && bitmap[static_cast<size_t>(cluster)])
                buffer[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        }
        return 1;
    }

    // Marks clusters [first, first + length) used in the bitmap.
    void Use(int64_t first, int64_t length)
    {
        if (bitmap.size() < static_cast<size_t>(first + length))
            bitmap.resize(static_cast<size_t>(first + length));
        for (int64_t c = first; c < first + length; ++c)
            bitmap[static_cast<size_t>(c)] = true;
    }
};

} // namespace enginetest
