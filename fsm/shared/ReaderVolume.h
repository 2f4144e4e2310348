#pragma once
// The IVolume of a plug-in over one file-system reader: the volume behind a
// drive letter, read-only. `Traits` names the file system and tells its facts:
//   static constexpr const char16_t* kFileSystemName;
//   static ClusterCounts Counts(const Facts&);
//   static std::u16string FactLines(const Facts&);  // for the details text
// `Reader` offers OpenPath, Close, IsOpen, Facts (with label and serial), Walk
// and ReadBitmap.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <new>
#include <string>
#include <string_view>

#include "ReaderWalk.h"
#include "common/IVolume.h"
#include "common/ImageFacts.h"
#include "common/Records.h"
#include "platform/Format.h"
#include "platform/Status.h"
#include "platform/VolumeTable.h"

namespace fsm {

struct ClusterCounts {
    uint32_t clusterSize;
    int64_t totalClusters;
    int64_t clustersInUse;
};

namespace detail {

// Turns the reader's walk into the engine's records and log messages.
class SinkAdapter final : public WalkSink {
public:
    SinkAdapter(IFileExtentSink* sink, IVolumeLog* log) : m_sink(sink), m_log(log) {}

    bool OnFile(int percent, const std::u16string& path, const std::vector<Run>& runs) override
    {
        const std::size_t units = std::min(path.size(), kFileRecordPathUnits - 1);
        std::copy_n(path.data(), units, m_record.path);
        m_record.path[units] = 0;
        m_extents.clear();
        for (const Run& run : runs)
            m_extents.append(run.first, run.length);
        m_record.extents = runs.empty() ? nullptr : m_extents.list();
        return m_sink->AddFile(percent, 0, 0, 0, &m_record) != 0;
    }

    void OnDamage(const void* data, std::size_t size, const std::u16string& text) override
    {
        if (m_log != nullptr)
            m_log->Report(data, static_cast<uint32_t>(std::min<std::size_t>(size, UINT32_MAX)), u"%s", text.c_str());
    }

private:
    IFileExtentSink* m_sink;
    IVolumeLog* m_log;
    FileRecord m_record{};
    ExtentListBuffer m_extents;
};

} // namespace detail

template <typename Reader, typename Traits> class ReaderVolume final : public IVolume {
public:
    ReaderVolume() = default;
    ~ReaderVolume() = default;
    ReaderVolume(const ReaderVolume&) = delete;
    ReaderVolume& operator=(const ReaderVolume&) = delete;

    int Open(const char16_t* path) override
    {
        try {
            Close();
            if (path == nullptr)
                return platform::status::kInvalidParameter;
            std::u16string_view devicePath(path);
            std::string target;
            const int status = platform::ResolveDevicePath(devicePath, &target);
            if (status != 0)
                return status;
            if (target.empty())
                return platform::status::kNotReady;
            return OpenTarget(target, devicePath.size() > 4 ? devicePath[4] : u'?');
        } catch (const std::bad_alloc&) {
            Close();
            return platform::status::kNotEnoughMemory;
        } catch (...) {
            Close();
            return platform::status::kGenFailure;
        }
    }

    // Opens an image or device by its file path, bypassing the volume table.
    int OpenTarget(const std::string& target, char16_t letter)
    {
        try {
            Close();
            m_letter = letter;
            return m_reader.OpenPath(target);
        } catch (const std::bad_alloc&) {
            Close();
            return platform::status::kNotEnoughMemory;
        } catch (...) {
            Close();
            return platform::status::kGenFailure;
        }
    }

    int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void*) override
    {
        if (sink == nullptr)
            return platform::status::kInvalidParameter;
        try {
            return Walk(sink, log);
        } catch (const std::bad_alloc&) {
            return platform::status::kNotEnoughMemory;
        } catch (...) {
            return platform::status::kGenFailure;
        }
    }

    void Close() override
    {
        m_reader.Close();
        m_details.clear();
    }

    void Unused() override {}
    const char16_t* GetFileSystemName() override { return Traits::kFileSystemName; }

    int ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer) override
    {
        try {
            return m_reader.ReadBitmap(firstCluster, count, buffer) ? 1 : 0;
        } catch (...) {
            return 0;
        }
    }

    const char16_t* GetDetails() override
    {
        try {
            if (!m_reader.IsOpen())
                return nullptr;
            const auto& facts = m_reader.Facts();
            const ClusterCounts counts = Traits::Counts(facts);
            const double gigabytes = static_cast<double>(counts.totalClusters) * counts.clusterSize / 1073741824.0;
            m_details =
                platform::Format(u"Volume: %c:\\\nVolume name: %s\nSerial number: %08X\nType: %s\nSize: %.2f GB\n",
                                 static_cast<int>(m_letter), facts.label.c_str(), facts.serial,
                                 Traits::kFileSystemName, gigabytes);
            m_details += Traits::FactLines(facts);
            return m_details.c_str();
        } catch (...) {
            return nullptr;
        }
    }

private:
    int Walk(IFileExtentSink* sink, IVolumeLog* log)
    {
        if (!m_reader.IsOpen()) {
            // Still a complete (empty, interrupted) walk, so the engine does not
            // carry the previous volume's results into this scan.
            sink->BeginVolume(0, 0, 0, 0, 0);
            sink->EndFiles(0, 1);
            return platform::status::kNotReady;
        }
        const ClusterCounts counts = Traits::Counts(m_reader.Facts());
        sink->BeginVolume(0, counts.clusterSize, 0, counts.totalClusters, counts.clustersInUse);
        detail::SinkAdapter adapter(sink, log);
        WalkResult result;
        try {
            result = m_reader.Walk(adapter);
        } catch (...) {
            sink->EndFiles(result.files, 1);
            throw;
        }
        sink->EndFiles(result.files, result.stopped || result.incomplete ? 1 : 0);
        return result.incomplete ? platform::status::kFileCorrupt : 0;
    }

    Reader m_reader;
    char16_t m_letter = u'?';
    std::u16string m_details;
};

// What the plug-in's "ReadImageFacts" export tells the volume table of an image.
template <typename Reader, typename Traits> int ReadImageFactsWith(const char* imagePath, VelkImageFacts* facts)
{
    if (imagePath == nullptr || facts == nullptr)
        return platform::status::kInvalidParameter;
    try {
        Reader reader;
        const int status = reader.OpenPath(imagePath);
        if (status != 0)
            return status;
        const auto& f = reader.Facts();
        const ClusterCounts counts = Traits::Counts(f);
        *facts = VelkImageFacts{};
        facts->totalBytes = static_cast<uint64_t>(counts.totalClusters) * counts.clusterSize;
        facts->freeBytes = static_cast<uint64_t>(counts.totalClusters - counts.clustersInUse) * counts.clusterSize;
        facts->serial = f.serial;
        std::copy_n(f.label.data(), std::min<std::size_t>(f.label.size(), std::size(facts->label) - 1), facts->label);
        return 0;
    } catch (...) {
        return platform::status::kNotEnoughMemory;
    }
}

} // namespace fsm
