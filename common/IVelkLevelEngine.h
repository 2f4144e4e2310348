#pragma once
// The analysis engine as vk2eng exports it. Slot order is part of the binary
// interface: new operations go after the last one.

#include <cstdint>
#include <string>

#include "IVelkProgress.h"
#include "IVolume.h"

class IVelkLevelEngine {
public:
    virtual double GetVelkLevel() = 0;
    virtual std::u16string GetSummaryFile() = 0;
    virtual int64_t GetFilesScanned() = 0;
    virtual int64_t GetClustersInUse() = 0;
    virtual int64_t GetClusterSize() = 0;
    virtual int64_t GetHighestClusterUsed() = 0;
    virtual int64_t GetHighestClusterPercent() = 0;
    virtual int64_t* GetScanDuration(int64_t* out) = 0;
    virtual std::u16string GetProblemReportFile() = 0;
    virtual int IsInterrupted() = 0;
    virtual int64_t GetTotalClusters() = 0;
    virtual int GetOverlapWarning(const char16_t** text) = 0;
    virtual std::u16string GetAnalysisUrl() = 0;
    virtual void CheckForUpdates(const char16_t* version, const char16_t* source) = 0;
    virtual int SetCache(int size) = 0;
    virtual void SetDiagnosticOutput(int problemReport, const char16_t* dumpPath) = 0;
    virtual void SetSummaryFile(const char16_t* path, const char16_t* header) = 0;
    virtual void AnalyzeVolume(IVolume* volume, IVelkProgress* progress) = 0;
    virtual void ReleaseCache() = 0;

    // Added for scripts: the three factors as the last scan ended them, before
    // GetVelkLevel puts 1.0 in place of 0.0. Any pointer may be null.
    virtual void GetFactors(double* files, double* usedRuns, double* freeRuns) = 0;

protected:
    ~IVelkLevelEngine() = default; // FreeVelkLevelEngine destroys it
};

extern "C" {
using CreateVelkLevelEngineFn = void (*)(IVelkLevelEngine**);
using FreeVelkLevelEngineFn = void (*)(IVelkLevelEngine**);
}
