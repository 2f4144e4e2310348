#include "Engine.h"

#include <cstdarg>

#include "BitmapPass.h"
#include "FileTerm.h"
#include "RecordPath.h"
#include "SummaryWriter.h"
#include "VelkLevel.h"
#include "WebAddress.h"
#include "Int128.h"
#include "common/IsLegacyPlatform.h"
#include "common/IVelkProgress.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/Shell.h"

namespace engine {

namespace {

constexpr char16_t kOverlapWarning[] = u"Some file seems got overlapped or has been changed in unusual way.";
constexpr char16_t kRunCheckDisk[] = u"Run scandisk/checkdisk to solve the problem.";
constexpr size_t kReportTextUnits = 1024;

} // namespace

Engine::Engine() : m_startTime(platform::Now())
{
    if (!IsLegacyPlatform())
        m_cacheLibrary.Load();
}

Engine::~Engine()
{
    ReleaseCache();
}

// ---- the walk, as the plug-in drives it ----

void Engine::BeginScan(uint32_t clusterSize, int64_t totalClusters, int64_t clustersInUse)
{
    m_began = true;
    m_filesEnded = false;
    m_filesAdded = 0;
    m_clustersInUse = clustersInUse;
    m_highestClusterUsed = 0;
    m_startTime = platform::Now();
    m_files = m_usedRuns = m_freeRuns = 0.0;
    m_endedFactors[0] = m_endedFactors[1] = m_endedFactors[2] = 0.0;
    m_totalClusters = totalClusters;
    m_scanDuration = 0;
    m_filesScanned = 0;
    m_interrupted = 0;
    m_clusterSize = clusterSize;
    m_problemReportFile.clear();

    // One bit per cluster and one spare, as whole bytes.
    const Int128 bytes = (static_cast<Int128>(totalClusters) + 8) / 8;
    m_mapAvailable = m_map.Prepare(bytes > 0 ? static_cast<uint64_t>(bytes) : 0);
    m_overlap = 0;

    m_dumpWriter.reset();
    m_problemWriter.reset();
    if (!m_dumpPath.empty())
        m_dumpWriter = std::make_unique<ExtentDumpWriter>(m_dumpPath, clusterSize, totalClusters, clustersInUse);
    if (m_problemReports != 0)
        m_problemWriter = std::make_unique<ProblemReportWriter>();
}

void Engine::BeginVolume(uint32_t, uint32_t clusterSize, uint32_t, int64_t totalClusters, int64_t clustersInUse)
{
    try {
        if (m_progress != nullptr)
            m_progress->OnScanStart();
        BeginScan(clusterSize, totalClusters, clustersInUse);
    } catch (...) {
        m_interrupted = 1;
    }
}

void Engine::TakeExtents(const FileRecord& record)
{
    const ExtentList& list = *record.extents;
    const Extent* extents = list.extents();
    FileTerm term;
    for (uint32_t i = 0; i < list.count; ++i) {
        const int64_t first = extents[i].firstCluster;
        const int64_t length = extents[i].length;
        term.Add(length);
        const int64_t last = ClampToInt64(static_cast<Int128>(first) + length - 1);
        if (last > m_highestClusterUsed)
            m_highestClusterUsed = last;
        // Without a map there is nothing to compare with, so no overlap is claimed.
        if (!m_mapAvailable || !m_map.Mark(first, length))
            continue;
        std::u16string warning = kOverlapWarning;
        warning += u" (";
        warning += RecordPath(record);
        warning += u")";
        if (m_problemWriter)
            m_problemWriter->Report(warning.data(), static_cast<uint32_t>(warning.size() * sizeof(char16_t)),
                                    platform::Format(u"overlap lcn=%I64d count=%I64d", first, length));
        m_warnings.push_back(std::move(warning));
        m_overlap = 1;
    }
    m_files += term.Value();
}

int Engine::AddFile(int percent, int, int, int, FileRecord* record)
{
    try {
        if (m_began && !m_filesEnded) {
            ++m_filesAdded;
            if (m_dumpWriter)
                m_dumpWriter->Dump(record);
            if (record != nullptr && record->extents != nullptr && record->extents->count != 0)
                TakeExtents(*record);
        }
        return m_progress != nullptr ? m_progress->OnFileProgress(percent, 0) : 1;
    } catch (...) {
        return 1;
    }
}

void Engine::FinishFiles(int64_t filesScanned, int interrupted)
{
    m_filesEnded = true;
    m_scanDuration = platform::Now() - m_startTime;
    m_filesScanned = filesScanned;
    m_interrupted = interrupted;
    m_problemReportFile.clear();
    if (m_problemWriter)
        m_problemReportFile = m_problemWriter->FileName();
    m_problemWriter.reset();
    m_dumpWriter.reset();
}

int Engine::EndFiles(int64_t filesScanned, int interrupted)
{
    try {
        if (!m_began || m_filesEnded)
            return 1;
        FinishFiles(filesScanned, interrupted);
        return m_progress != nullptr ? m_progress->OnFilesDone() : 1;
    } catch (...) {
        return 1;
    }
}

void Engine::Report(const void* data, uint32_t size, const char16_t* format, ...)
{
    if (!m_problemWriter || format == nullptr)
        return;
    try {
        va_list args;
        va_start(args, format);
        const std::u16string text = platform::FormatBoundedV(kReportTextUnits, format, args);
        va_end(args);
        m_problemWriter->Report(data, size, text);
    } catch (...) {
    }
}

// ---- the scan ----

void Engine::AnalyzeVolume(IVolume* volume, IVelkProgress* progress)
{
    m_progress = progress;
    m_began = false;
    try {
        if (volume != nullptr)
            volume->EnumerateFiles(static_cast<IFileExtentSink*>(this), static_cast<IVolumeLog*>(this), m_cache);
        if (!m_began) {
            // The plug-in never began a volume: leave no result of an earlier
            // scan for the bitmap pass to add to, and end as stopped.
            BeginScan(1, 0, 0);
            m_dumpWriter.reset();
            m_problemWriter.reset();
            m_filesEnded = true;
            m_interrupted = 1;
        } else {
            if (!m_filesEnded) { // the plug-in returned without ending its walk
                FinishFiles(m_filesAdded, 1);
                if (progress != nullptr)
                    progress->OnFilesDone();
            }
            const Int128 mapClusters = static_cast<Int128>(m_map.Size()) * 8;
            const Int128 volumeEnd = m_totalClusters > mapClusters ? m_totalClusters : mapClusters;
            // Past the volume and the map there is nothing to read: a wild
            // extent must not turn the pass into billions of empty chunks.
            Int128 end = static_cast<Int128>(m_highestClusterUsed) + 1;
            if (end > volumeEnd)
                end = volumeEnd;
            const BitmapPassResult result = RunBitmapPass(*volume, progress, ClampToInt64(end), m_map);
            m_usedRuns = result.usedRuns;
            m_freeRuns = result.freeRuns;
            if (result.stopped)
                m_interrupted = 1;
        }
        m_endedFactors[0] = m_files;
        m_endedFactors[1] = m_usedRuns;
        m_endedFactors[2] = m_freeRuns;
        if (progress != nullptr)
            progress->OnScanEnd();
        WriteSummary();
    } catch (...) {
        m_interrupted = 1;
        m_dumpWriter.reset();
        m_problemWriter.reset();
    }
    m_progress = nullptr;
}

void Engine::WriteSummary()
{
    if (m_interrupted != 0) {
        m_summaryFile.clear();
        return;
    }
    if (m_summaryFile.empty())
        return;
    ScanSummary summary;
    summary.header = m_summaryHeader;
    summary.velkLevel = GetVelkLevel();
    summary.filesScanned = m_filesScanned;
    summary.clustersInUse = m_clustersInUse;
    summary.clusterSize = m_clusterSize;
    summary.highestClusterUsed = m_highestClusterUsed;
    summary.scanDurationSeconds = m_scanDuration;
    summary.warnings = &m_warnings;
    summary.overlap = m_overlap != 0;
    if (!engine::WriteSummary(m_summaryFile, summary))
        m_summaryFile = u"Error saving summary";
}

// ---- results ----

double Engine::GetVelkLevel()
{
    return VelkLevel(m_files, m_usedRuns, m_freeRuns);
}

std::u16string Engine::GetSummaryFile()
{
    return m_summaryFile;
}

int64_t Engine::GetHighestClusterPercent()
{
    if (m_totalClusters == 0)
        return 0;
    const double percent = static_cast<double>(m_highestClusterUsed) / static_cast<double>(m_totalClusters) * 100;
    if (!(percent > -9.2e18 && percent < 9.2e18))
        return 0;
    return static_cast<int64_t>(percent);
}

int64_t* Engine::GetScanDuration(int64_t* out)
{
    if (out != nullptr)
        *out = m_scanDuration;
    return out;
}

std::u16string Engine::GetProblemReportFile()
{
    return m_problemReportFile;
}

int Engine::GetOverlapWarning(const char16_t** text)
{
    static const std::u16string warning = platform::Format(u"%s %s", kOverlapWarning, kRunCheckDisk);
    if (m_overlap != 0 && text != nullptr)
        *text = warning.c_str();
    return m_overlap;
}

std::u16string Engine::GetAnalysisUrl()
{
    ScanFigures figures;
    figures.velkLevel = GetVelkLevel();
    figures.highestClusterUsed = m_highestClusterUsed;
    figures.totalClusters = m_totalClusters;
    figures.clusterSize = m_clusterSize;
    return AnalysisAddress(figures);
}

void Engine::CheckForUpdates(const char16_t* version, const char16_t* source)
{
    try {
        platform::OpenAddress(UpdateCheckAddress(version, source));
    } catch (...) {
    }
}

void Engine::GetFactors(double* files, double* usedRuns, double* freeRuns)
{
    if (files != nullptr)
        *files = m_endedFactors[0];
    if (usedRuns != nullptr)
        *usedRuns = m_endedFactors[1];
    if (freeRuns != nullptr)
        *freeRuns = m_endedFactors[2];
}

// ---- settings for the next scans ----

int Engine::SetCache(int size)
{
    if (IsLegacyPlatform())
        return 1;
    if (size != 0)
        return m_cacheLibrary.HasCreate() ? m_cacheLibrary.Create(&m_cache, size) : 0;
    if (m_cache == nullptr)
        return 0;
    const int result = m_cacheLibrary.HasFree() ? m_cacheLibrary.Free(&m_cache) : 1;
    m_cache = nullptr;
    return result;
}

void Engine::ReleaseCache()
{
    if (m_cache != nullptr && m_cacheLibrary.HasFree())
        m_cacheLibrary.Free(&m_cache);
    m_cache = nullptr;
    m_cacheLibrary.Unload();
}

void Engine::SetDiagnosticOutput(int problemReport, const char16_t* dumpPath)
{
    try {
        m_problemReports = problemReport;
        m_dumpPath = dumpPath != nullptr ? dumpPath : u"";
        m_dumpWriter.reset();
        m_problemWriter.reset();
    } catch (...) {
    }
}

void Engine::SetSummaryFile(const char16_t* path, const char16_t* header)
{
    try {
        m_summaryFile = path != nullptr ? path : u"";
        m_summaryHeader = header != nullptr ? header : u"";
        m_warnings.clear();
    } catch (...) {
    }
}

} // namespace engine
