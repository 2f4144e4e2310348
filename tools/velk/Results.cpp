#include "Results.h"

#include <charconv>
#include <cmath>
#include <cinttypes>

#include "platform/Utf.h"

namespace velk {
namespace {

std::string U8(std::u16string_view text) { return platform::ToUtf8(text); }

double Gigabytes(int64_t clusters, int64_t clusterSize)
{
    return std::ldexp(static_cast<double>(clusters) * static_cast<double>(clusterSize), -30);
}

template <typename T> std::string JsonOptional(const std::optional<T>& value)
{
    if (!value)
        return "null";
    if constexpr (std::is_same_v<T, std::string>)
        return JsonString(platform::ToUtf16(*value));
    else
        return JsonString(*value);
}

} // namespace

std::string FormatDuration(int64_t s)
{
    const int64_t days = s / 86400;
    char text[64];
    std::snprintf(text, sizeof text, "%" PRId64 "d, %02" PRId64 ":%02" PRId64 ":%02" PRId64, days,
                  s / 3600 - 24 * days, s / 60 - 60 * (s / 3600), s - 60 * (s / 60));
    return text;
}

std::string JsonString(std::u16string_view text)
{
    std::string out = "\"";
    for (char c : U8(text)) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void PrintText(std::FILE* out, const std::vector<VolumeResult>& results)
{
    bool first = true;
    for (const VolumeResult& r : results) {
        if (!first)
            std::fputc('\n', out);
        first = false;
        std::fprintf(out, "%s\n", U8(r.description).c_str());
        if (!r.scanned) {
            std::fprintf(out, "  Not scanned: %s\n", U8(r.error).c_str());
            continue;
        }
        std::fprintf(out, "  %s\n", r.interrupted ? "Computation interrupted." : "Computation finished.");
        std::fprintf(out, "  Velk level:              %.1f%s\n", r.velkLevel, r.interrupted ? " (partial)" : "");
        if (r.overlapWarning)
            std::fprintf(out, "  Warning:                 %s\n", U8(*r.overlapWarning).c_str());
        std::fprintf(out, "  Files scanned:           %" PRId64 "\n", r.filesScanned);
        std::fprintf(out, "  Volume usage:            %" PRId64 " clusters/%.2f GB\n", r.clustersInUse,
                     Gigabytes(r.clustersInUse, r.clusterSize));
        std::fprintf(out, "  Highest cluster used at: %" PRId64 "/%.2f GB (%" PRId64 "%% of %" PRId64 " clusters)\n",
                     r.highestClusterUsed, Gigabytes(r.highestClusterUsed, r.clusterSize), r.highestClusterPercent,
                     r.totalClusters);
        std::fprintf(out, "  Scan duration:           %s\n", FormatDuration(r.scanDurationSeconds).c_str());
        std::fprintf(out, "  Summary log:             %s\n",
                     r.summaryFile ? r.summaryFile->c_str() : r.summaryError ? U8(*r.summaryError).c_str() : "no");
        if (r.problemReportFile)
            std::fprintf(out, "  Debug log:               %s\n", r.problemReportFile->c_str());
        if (r.dumpFile)
            std::fprintf(out, "  Extent dump:             %s\n", r.dumpFile->c_str());
        if (!r.interrupted)
            std::fprintf(out, "  Analysis:                %s\n", U8(r.analysisUrl).c_str());
        std::fprintf(out, "  Score: files %.4g x used runs %.4g x free runs %.4g\n", r.files, r.usedRuns, r.freeRuns);
        if (!r.topFiles.empty()) {
            std::fprintf(out, "  Files that add most to the file term:\n");
            for (const TopFile& f : r.topFiles)
                std::fprintf(out, "    %10.4f  %6u extents  %s\n", f.contribution, f.extents, U8(f.path).c_str());
        }
    }
}

void PrintJson(std::FILE* out, const std::vector<VolumeResult>& results)
{
    std::string json = "{\"volumes\": [";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const VolumeResult& r = results[i];
        json += i ? ",\n  {" : "\n  {";
        json += "\"letter\": " + (r.letter ? JsonString(std::u16string(1, *r.letter)) : std::string("null"));
        json += ", \"description\": " + JsonString(r.description);
        json += ", \"file_system\": " + JsonOptional(r.fileSystem);
        json += ", \"status\": " + std::to_string(r.status);
        json += ", \"error\": " + (r.error.empty() ? std::string("null") : JsonString(r.error));
        if (!r.scanned) {
            for (const char* name : {"interrupted", "velk_level", "files_scanned", "clusters_in_use", "cluster_size",
                                     "total_clusters", "highest_cluster_used", "highest_cluster_percent",
                                     "scan_duration_seconds", "overlap_warning", "summary_file", "problem_report_file",
                                     "dump_file", "analysis_url", "factors"})
                json += std::string(", \"") + name + "\": null";
            json += ", \"top_files\": []}";
            continue;
        }
        json += std::string(", \"interrupted\": ") + (r.interrupted ? "true" : "false");
        char level[32];
        std::snprintf(level, sizeof level, "%.1f", r.velkLevel);
        json += ", \"velk_level\": " + std::string(level);
        json += ", \"files_scanned\": " + std::to_string(r.filesScanned);
        json += ", \"clusters_in_use\": " + std::to_string(r.clustersInUse);
        json += ", \"cluster_size\": " + std::to_string(r.clusterSize);
        json += ", \"total_clusters\": " + std::to_string(r.totalClusters);
        json += ", \"highest_cluster_used\": " + std::to_string(r.highestClusterUsed);
        json += ", \"highest_cluster_percent\": " + std::to_string(r.highestClusterPercent);
        json += ", \"scan_duration_seconds\": " + std::to_string(r.scanDurationSeconds);
        json += ", \"overlap_warning\": " + JsonOptional(r.overlapWarning);
        json += ", \"summary_file\": " + JsonOptional(r.summaryFile);
        if (r.summaryError)
            json += ", \"summary_error\": " + JsonString(*r.summaryError);
        json += ", \"problem_report_file\": " + JsonOptional(r.problemReportFile);
        json += ", \"dump_file\": " + JsonOptional(r.dumpFile);
        json += ", \"analysis_url\": " + JsonString(r.analysisUrl);
        json += ", \"factors\": {\"files\": " + JsonNumber(r.files) + ", \"used_runs\": " + JsonNumber(r.usedRuns) +
                ", \"free_runs\": " + JsonNumber(r.freeRuns) + "}";
        json += ", \"top_files\": [";
        for (std::size_t k = 0; k < r.topFiles.size(); ++k) {
            const TopFile& f = r.topFiles[k];
            json += k ? ", " : "";
            json += "{\"path\": " + JsonString(f.path) + ", \"extents\": " + std::to_string(f.extents) +
                    ", \"contribution\": " + JsonNumber(f.contribution) + "}";
        }
        json += "]}";
    }
    json += results.empty() ? "]}\n" : "\n]}\n";
    std::fputs(json.c_str(), out);
}

} // namespace velk
