// The file pass (marking extents in the cluster map) and the bitmap pass
// (measuring runs) on a synthetic volume of 2^30 clusters, next to a plain
// popcount sweep of the same bitmap as the yardstick.
//
//   build/bin/passes_benchmark --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/ClusterMap.h"
#include "engine/RunCounter.h"

namespace {

constexpr int64_t kClusters = int64_t{1} << 30;
constexpr size_t kChunk = 65536;

// A used volume as a file system leaves it: files of mostly small, some large
// extents, separated by free gaps of varied length.
const std::vector<std::pair<int64_t, int64_t>>& Extents()
{
    static const std::vector<std::pair<int64_t, int64_t>> extents = [] {
        std::vector<std::pair<int64_t, int64_t>> list;
        std::mt19937_64 random(42);
        std::geometric_distribution<int64_t> small(1.0 / 16), large(1.0 / 4096), gap(1.0 / 48);
        for (int64_t at = 0; at < kClusters;) {
            const int64_t length = std::min<int64_t>(kClusters - at, 1 + (random() % 8 == 0 ? large(random) : small(random)));
            list.emplace_back(at, length);
            at += length + gap(random);
        }
        return list;
    }();
    return extents;
}

const engine::ClusterMap& MarkedMap()
{
    static engine::ClusterMap map = [] {
        engine::ClusterMap m;
        m.Prepare(static_cast<uint64_t>(kClusters + 8) / 8);
        for (auto [first, length] : Extents())
            m.Mark(first, length);
        return m;
    }();
    return map;
}

void SetCounters(benchmark::State& state)
{
    state.counters["clusters/s"] =
        benchmark::Counter(static_cast<double>(kClusters) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.counters["runs"] = static_cast<double>(Extents().size());
}

void FilePass(benchmark::State& state)
{
    const auto& extents = Extents();
    engine::ClusterMap map;
    // The engine keeps its map from scan to scan: fault its pages in once.
    map.Prepare(static_cast<uint64_t>(kClusters + 8) / 8);
    std::memset(const_cast<uint8_t*>(map.Data()), 0, map.Size());
    for (auto _ : state) {
        map.Prepare(static_cast<uint64_t>(kClusters + 8) / 8);
        bool overlap = false;
        for (auto [first, length] : extents)
            overlap |= map.Mark(first, length);
        benchmark::DoNotOptimize(overlap);
    }
    SetCounters(state);
}

void BitmapPass(benchmark::State& state)
{
    const engine::ClusterMap& map = MarkedMap();
    std::vector<uint8_t> buffer(kChunk / 8);
    for (auto _ : state) {
        engine::RunCounter runs;
        for (int64_t at = 0; at < kClusters; at += kChunk) {
            // As the engine does: each chunk is copied into its own buffer.
            std::memcpy(buffer.data(), map.Data() + at / 8, buffer.size());
            runs.Feed(buffer.data(), kChunk);
        }
        runs.CloseRun();
        benchmark::DoNotOptimize(runs.UsedFactor() + runs.FreeFactor());
    }
    SetCounters(state);
}

void PopcountSweep(benchmark::State& state)
{
    const engine::ClusterMap& map = MarkedMap();
    std::vector<uint8_t> buffer(kChunk / 8);
    for (auto _ : state) {
        uint64_t used = 0;
        for (int64_t at = 0; at < kClusters; at += kChunk) {
            std::memcpy(buffer.data(), map.Data() + at / 8, buffer.size());
            for (size_t i = 0; i < buffer.size(); i += 8) {
                uint64_t word;
                std::memcpy(&word, buffer.data() + i, 8);
                used += static_cast<uint64_t>(__builtin_popcountll(word));
            }
        }
        benchmark::DoNotOptimize(used);
    }
    SetCounters(state);
}

} // namespace

BENCHMARK(PopcountSweep)->Unit(benchmark::kMillisecond);
BENCHMARK(FilePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BitmapPass)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
