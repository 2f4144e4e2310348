#include "NtfsVolume.h"

#include <algorithm>
#include <new>

#include "platform/Format.h"
#include "platform/Status.h"
#include "platform/VolumeTable.h"

namespace fsm::ntfs {
namespace {

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

} // namespace

int NtfsVolume::Open(const char16_t* path)
{
    try {
        Close();
        if (path == nullptr)
            return platform::status::kInvalidParameter;
        std::u16string_view devicePath(path);
        std::string target;
        int status = platform::ResolveDevicePath(devicePath, &target);
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

int NtfsVolume::OpenTarget(const std::string& target, char16_t letter)
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

void NtfsVolume::Close()
{
    m_reader.Close();
    m_details.clear();
}

int NtfsVolume::EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void*)
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

int NtfsVolume::Walk(IFileExtentSink* sink, IVolumeLog* log)
{
    if (!m_reader.IsOpen()) {
        // Still a complete (empty, interrupted) walk, so the engine does not
        // carry the previous volume's results into this scan.
        sink->BeginVolume(0, 0, 0, 0, 0);
        sink->EndFiles(0, 1);
        return platform::status::kNotReady;
    }
    const VolumeFacts& facts = m_reader.Facts();
    sink->BeginVolume(0, facts.clusterSize, 0, facts.totalClusters, facts.clustersInUse);
    SinkAdapter adapter(sink, log);
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

int NtfsVolume::ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer)
{
    try {
        return m_reader.ReadBitmap(firstCluster, count, buffer) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

const char16_t* NtfsVolume::GetDetails()
{
    try {
        if (!m_reader.IsOpen())
            return nullptr;
        const VolumeFacts& f = m_reader.Facts();
        const double gigabytes = static_cast<double>(f.totalClusters) * f.clusterSize / 1073741824.0;
        m_details = platform::Format(u"Volume: %c:\\\nVolume name: %s\nSerial number: %08X\nType: %s\nSize: %.2f GB\n",
                                     static_cast<int>(m_letter), f.label.c_str(), f.serial, u"NTFS", gigabytes);
        m_details += platform::Format(u"NTFS version: %d.%d\nCluster size: %u bytes\nClusters: %I64d\n"
                                      u"Clusters in use: %I64d\nMFT record size: %u bytes\nMFT size: %I64d bytes\n"
                                      u"MFT records: %I64d\n",
                                      f.majorVersion, f.minorVersion, f.clusterSize, f.totalClusters, f.clustersInUse,
                                      f.mftRecordSize, f.mftBytes, f.mftRecords);
        return m_details.c_str();
    } catch (...) {
        return nullptr;
    }
}

} // namespace fsm::ntfs
