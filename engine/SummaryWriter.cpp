#include "SummaryWriter.h"

#include "platform/Format.h"
#include "platform/ReportFile.h"

namespace engine {

namespace {

double Gigabytes(int64_t clusters, uint32_t clusterSize)
{
    return static_cast<double>(clusters) * static_cast<double>(clusterSize) * (1.0 / (1 << 30));
}

} // namespace

std::u16string DurationText(int64_t t)
{
    const long days = static_cast<long>(t / 86400);
    const long hours = static_cast<long>(t / 3600 - 24 * (t / 86400));
    const long minutes = static_cast<long>(t / 60 - 60 * (t / 3600));
    const long seconds = static_cast<long>(t - 60 * (t / 60));
    return platform::Format(u"%ldd, %02ld:%02ld:%02ld", days, hours, minutes, seconds);
}

bool WriteSummary(const std::u16string& path, const ScanSummary& s)
{
    platform::ReportFile file;
    if (!file.Create(path))
        return false;
    std::u16string text = s.header;
    text += platform::Format(u"Velk level: %.1f\n", s.velkLevel);
    text += platform::Format(u"Files scanned: %I64d\n", s.filesScanned);
    text += platform::Format(u"Volume usage: %I64d clusters/%.2f GB\n", s.clustersInUse,
                             Gigabytes(s.clustersInUse, s.clusterSize));
    text += platform::Format(u"Highest cluster used at: %I64d/%.2f GB\n", s.highestClusterUsed,
                             Gigabytes(s.highestClusterUsed, s.clusterSize));
    text += platform::Format(u"Scan duration: %s\n", DurationText(s.scanDurationSeconds).c_str());
    if (s.warnings != nullptr && !s.warnings->empty()) {
        text += u"Warnings:\n";
        for (const std::u16string& warning : *s.warnings)
            text += warning + u"\n";
    }
    if (s.overlap)
        text += u"Run scandisk/checkdisk to solve the problem.";
    const bool written = file.Write(text);
    return file.Close() && written;
}

} // namespace engine
