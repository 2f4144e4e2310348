#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CacheLibrary.h"
#include "ClusterMap.h"
#include "ExtentDumpWriter.h"
#include "ProblemReportWriter.h"
#include "common/IVelkLevelEngine.h"
#include "common/IVolume.h"

namespace engine {

// One engine: takes in a volume's files from its plug-in, then its bitmap, and
// keeps the results of the last scan. Runs on the caller's thread only.
class Engine final : public IFileExtentSink, public IVolumeLog, public IVelkLevelEngine {
public:
    Engine();
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // IFileExtentSink
    int AddFile(int percent, int, int, int, FileRecord* record) override;
    int EndFiles(int64_t filesScanned, int interrupted) override;
    void BeginVolume(uint32_t, uint32_t clusterSize, uint32_t, int64_t totalClusters, int64_t clustersInUse) override;

    // IVolumeLog
    void Report(const void* data, uint32_t size, const char16_t* format, ...) override;

    // IVelkLevelEngine
    double GetVelkLevel() override;
    std::u16string GetSummaryFile() override;
    int64_t GetFilesScanned() override { return m_filesScanned; }
    int64_t GetClustersInUse() override { return m_clustersInUse; }
    int64_t GetClusterSize() override { return m_clusterSize; }
    int64_t GetHighestClusterUsed() override { return m_highestClusterUsed; }
    int64_t GetHighestClusterPercent() override;
    int64_t* GetScanDuration(int64_t* out) override;
    std::u16string GetProblemReportFile() override;
    int IsInterrupted() override { return m_interrupted; }
    int64_t GetTotalClusters() override { return m_totalClusters; }
    int GetOverlapWarning(const char16_t** text) override;
    std::u16string GetAnalysisUrl() override;
    void CheckForUpdates(const char16_t* version, const char16_t* source) override;
    int SetCache(int size) override;
    void SetDiagnosticOutput(int problemReport, const char16_t* dumpPath) override;
    void SetSummaryFile(const char16_t* path, const char16_t* header) override;
    void AnalyzeVolume(IVolume* volume, IVelkProgress* progress) override;
    void ReleaseCache() override;
    void GetFactors(double* files, double* usedRuns, double* freeRuns) override;

private:
    void BeginScan(uint32_t clusterSize, int64_t totalClusters, int64_t clustersInUse);
    void FinishFiles(int64_t filesScanned, int interrupted);
    void TakeExtents(const FileRecord& record);
    void WriteSummary();

    void* m_cache = nullptr;
    ClusterMap m_map;
    bool m_mapAvailable = true;
    int m_overlap = 0;
    int64_t m_clustersInUse = 0;
    uint32_t m_clusterSize = 1;
    int64_t m_highestClusterUsed = 0;
    int64_t m_startTime = 0;
    int64_t m_scanDuration = 0;
    int64_t m_filesScanned = 0;
    int m_interrupted = 1;
    std::u16string m_problemReportFile;
    std::unique_ptr<ExtentDumpWriter> m_dumpWriter;
    std::unique_ptr<ProblemReportWriter> m_problemWriter;
    int m_problemReports = 0;
    std::u16string m_dumpPath;
    IVelkProgress* m_progress = nullptr;
    double m_files = 0.0;    // A
    double m_usedRuns = 0.0; // B
    double m_freeRuns = 0.0; // C
    double m_endedFactors[3] = {0.0, 0.0, 0.0};
    int64_t m_totalClusters = 0;
    std::u16string m_summaryFile;
    std::u16string m_summaryHeader;
    std::vector<std::u16string> m_warnings;
    CacheLibrary m_cacheLibrary;

    // Where the scan under way stands; lets a plug-in that breaks the call
    // order leave a defined end state.
    bool m_began = false;
    bool m_filesEnded = false;
    int64_t m_filesAdded = 0;
};

} // namespace engine
