#pragma once
// What one volume's scan came to, and its two renderings: text for people and
// the JSON document for scripts (names fixed: scripts depend on them).

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "TopFiles.h"

namespace velk {

struct VolumeResult {
    std::optional<char16_t> letter;
    std::u16string description;
    std::optional<std::u16string> fileSystem;
    int status = 0;
    std::u16string error; // the status text, or what else went wrong
    bool scanned = false;
    bool interrupted = false;
    double velkLevel = 0.0;
    int64_t filesScanned = 0;
    int64_t clustersInUse = 0;
    int64_t clusterSize = 0;
    int64_t totalClusters = 0;
    int64_t highestClusterUsed = 0;
    int64_t highestClusterPercent = 0;
    int64_t scanDurationSeconds = 0;
    std::optional<std::u16string> overlapWarning;
    std::optional<std::string> summaryFile;
    std::optional<std::u16string> summaryError;
    std::optional<std::string> problemReportFile;
    std::optional<std::string> dumpFile;
    std::u16string analysisUrl;
    double files = 0.0, usedRuns = 0.0, freeRuns = 0.0;
    std::vector<TopFile> topFiles;
};

// "%Dd, %H:%M:%S" of a whole number of seconds: 90061 gives "1d, 01:01:01".
std::string FormatDuration(int64_t seconds);

void PrintText(std::FILE* out, const std::vector<VolumeResult>& results);
void PrintJson(std::FILE* out, const std::vector<VolumeResult>& results);

// JSON pieces, shared with the list command.
std::string JsonString(std::u16string_view text);
std::string JsonNumber(double value);

} // namespace velk
