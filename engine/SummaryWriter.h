#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct ScanSummary {
    std::u16string header;
    double velkLevel = 0.0;
    int64_t filesScanned = 0;
    int64_t clustersInUse = 0;
    uint32_t clusterSize = 1;
    int64_t highestClusterUsed = 0;
    int64_t scanDurationSeconds = 0;
    const std::vector<std::u16string>* warnings = nullptr;
    bool overlap = false;
};

// Writes the summary file; false on any error of the file (a file created
// before the error stays, possibly incomplete).
bool WriteSummary(const std::u16string& path, const ScanSummary& summary);

// "%Dd, %H:%M:%S" of a duration in whole seconds: 3725 -> "0d, 01:02:05".
std::u16string DurationText(int64_t seconds);

} // namespace engine
