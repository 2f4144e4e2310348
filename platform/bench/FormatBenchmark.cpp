// The extent dump formats one line per extent and writes it through the report
// writer, so these are on the hot path of a dumped scan. snprintf of the same
// narrow line is the yardstick.
#include "platform/Format.h"
#include "platform/ReportFile.h"
#include "platform/Utf.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>

namespace {

void BM_FormatExtentLine(benchmark::State& state)
{
    int64_t cluster = 123456789;
    for (auto _ : state) {
        std::u16string line = platform::Format(u"%s %I64d\n", u"123546789", cluster++);
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_FormatExtentLine);

void BM_SnprintfExtentLine(benchmark::State& state)
{
    long long cluster = 123456789;
    char line[64];
    for (auto _ : state) {
        int size = std::snprintf(line, sizeof line, "%s %lld\n", "123546789", cluster++);
        benchmark::DoNotOptimize(size);
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_SnprintfExtentLine);

void BM_FormatVolumeDescription(benchmark::State& state)
{
    for (auto _ : state) {
        std::u16string text =
            platform::Format(u"%c:\\ %.2fGB %s [%s]", u'C', 80000000000.0 / 1073741824.0, u"System", u"NTFS");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_FormatVolumeDescription);

void BM_ToUtf8Path(benchmark::State& state)
{
    const std::u16string path = u"/Documents/Projects/caf\u00e9/report.final.doc";
    for (auto _ : state) {
        std::string utf8 = platform::ToUtf8(path);
        benchmark::DoNotOptimize(utf8);
    }
}
BENCHMARK(BM_ToUtf8Path);

void BM_ReportFileWriteLine(benchmark::State& state)
{
    platform::ReportFile file;
    if (!file.Create(u"/dev/null")) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    const std::u16string line = u"123546789 42\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(file.Write(line));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(line.size() + 1));
}
BENCHMARK(BM_ReportFileWriteLine);

} // namespace

BENCHMARK_MAIN();
