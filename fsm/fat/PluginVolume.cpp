#include "PluginVolume.h"

#include <exception>
#include <new>

#include "FileBlockSource.h"
#include "platform/Format.h"
#include "platform/Status.h"
#include "platform/VolumeTable.h"

namespace fsread {
namespace {

int StatusOfCurrentException() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return platform::status::kNotEnoughMemory;
    } catch (...) {
        return platform::status::kGenFailure;
    }
}

// Forwards a walk to the engine's sink and log, one FileRecord at a time.
class EngineSink final : public WalkSink {
public:
    EngineSink(IFileExtentSink* sink, IVolumeLog* log) : m_sink(sink), m_log(log) {}

    bool OnFile(int percent, std::u16string_view path, const RunList& runs) override
    {
        std::size_t units = path.size() < kFileRecordPathUnits - 1 ? path.size() : kFileRecordPathUnits - 1;
        // A cut must not leave half a surrogate pair behind.
        if (units < path.size() && units > 0 && path[units - 1] >= 0xD800 && path[units - 1] <= 0xDBFF)
            --units;
        path.copy(m_record.path, units);
        m_record.path[units] = 0;
        m_extents.clear();
        for (const Run& run : runs.Runs())
            m_extents.append(run.first, run.length);
        m_record.extents = m_extents.list();
        return m_sink->AddFile(percent, 0, 0, 0, &m_record) != 0;
    }

    void OnDamage(std::u16string_view text) override
    {
        if (m_log == nullptr)
            return;
        std::u16string message(text);
        m_log->Report(message.data(), static_cast<uint32_t>(message.size() * sizeof(char16_t)), u"%s",
                      message.c_str());
    }

private:
    IFileExtentSink* m_sink;
    IVolumeLog* m_log;
    FileRecord m_record{};
    ExtentListBuffer m_extents;
};

// The summary is written one byte per unit: anything wider shows as '?'.
std::u16string NarrowForReport(std::u16string text)
{
    for (char16_t& unit : text) {
        if (unit > 0xFF)
            unit = u'?';
    }
    return text;
}

} // namespace

PluginVolume::PluginVolume(std::u16string fileSystemName, std::unique_ptr<VolumeReader> reader)
    : m_name(std::move(fileSystemName)), m_reader(std::move(reader))
{
}

PluginVolume::~PluginVolume() = default;

int PluginVolume::Open(const char16_t* path)
{
    try {
        Close();
        if (path == nullptr)
            return platform::status::kInvalidParameter;
        std::u16string_view devicePath(path);
        std::string target;
        int status = platform::ResolveDevicePath(devicePath, &target);
        if (status != platform::status::kSuccess)
            return status;
        char16_t letter = devicePath.size() >= 6 ? devicePath[4] : 0;
        return OpenPath(target, letter);
    } catch (...) {
        Close();
        return StatusOfCurrentException();
    }
}

int PluginVolume::OpenPath(const std::string& path, char16_t letter)
{
    try {
        Close();
        if (path.empty())
            return platform::status::kFileNotFound;
        std::unique_ptr<BlockSource> source;
        int status = FileBlockSource::Open(path, &source);
        if (status != platform::status::kSuccess)
            return status;
        status = m_reader->Open(std::move(source));
        if (status != platform::status::kSuccess)
            return status;
        const VolumeFacts& facts = m_reader->Facts();
        std::u16string details;
        if (letter != 0)
            details += platform::Format(u"Volume: %c:\\\n", static_cast<int>(letter));
        details += platform::Format(u"Volume name: %s\nSerial number: %08X\nType: %s\nSize: %.2f GB\n",
                                    facts.label.c_str(), facts.serial, facts.fileSystemName.c_str(),
                                    static_cast<double>(facts.totalBytes) / 1073741824.0);
        details += m_reader->DetailLines();
        m_details = NarrowForReport(std::move(details));
        return platform::status::kSuccess;
    } catch (...) {
        Close();
        return StatusOfCurrentException();
    }
}

int PluginVolume::EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* /*cache*/)
{
    if (sink == nullptr)
        return platform::status::kInvalidParameter;
    if (!m_reader->IsOpen())
        return platform::status::kNotReady;
    bool begun = false;
    int64_t files = 0;
    try {
        const VolumeFacts& facts = m_reader->Facts();
        sink->BeginVolume(0, facts.clusterSize, 0, facts.totalClusters, facts.clustersInUse);
        begun = true;
        EngineSink forward(sink, log);
        WalkResult result = m_reader->Walk(forward);
        files = result.files;
        sink->EndFiles(result.files, result.interrupted ? 1 : 0);
        return platform::status::kSuccess;
    } catch (...) {
        int status = StatusOfCurrentException();
        if (begun) {
            try {
                sink->EndFiles(files, 1);
            } catch (...) {
            }
        }
        return status;
    }
}

void PluginVolume::Close()
{
    m_reader->Close();
    m_details.clear();
}

int PluginVolume::ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer)
{
    if (buffer == nullptr || count > 65536 || firstCluster < 0 || !m_reader->IsOpen())
        return 0;
    m_reader->Allocation().CopyBits(firstCluster, count, buffer);
    return 1;
}

const char16_t* PluginVolume::GetDetails()
{
    return m_reader->IsOpen() ? m_details.c_str() : nullptr;
}

} // namespace fsread
