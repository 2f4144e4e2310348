#pragma once
#include <cstdint>

class IVolume;
class IVelkProgress;

namespace engine {

class ClusterMap;

struct BitmapPassResult {
    double usedRuns = 0.0; // U^2 / sum of squared used runs; 0.0 without runs
    double freeRuns = 0.0; // F^2 / sum of squared free runs; 0.0 without runs
    bool stopped = false;  // the progress interface asked to stop
};

// Reads the allocation bitmap of clusters [0, end) in chunks of 65,536 from the
// volume, or from the cluster map where the volume cannot deliver a chunk
// (clusters the map does not hold count as free), and measures its runs.
// `progress` may be null.
BitmapPassResult RunBitmapPass(IVolume& volume, IVelkProgress* progress, int64_t end, const ClusterMap& map);

} // namespace engine
