#pragma once
#include <cstdint>
#include <string>

namespace engine {

// The maker's web server: a reserved documentation domain, so no third party is
// ever reached. VELKLEVEL2_WEB_BASE replaces it (scheme and host, no slash at
// the end).
std::u16string WebBase();

struct ScanFigures {
    int64_t totalClusters = 0;
    uint32_t clusterSize = 1;
    int64_t highestClusterUsed = 0;
    double velkLevel = 0.0;
};

// The analysis page for a scan: ".../cgi-bin/analyze.cgi?s=..&h=..&a=..&l=..".
std::u16string AnalysisAddress(const ScanFigures& figures);

// The update-check page; version and source are inserted as they are.
std::u16string UpdateCheckAddress(const char16_t* version, const char16_t* source);

} // namespace engine
