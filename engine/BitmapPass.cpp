#include "BitmapPass.h"

#include <array>
#include <cstring>

#include "ClusterMap.h"
#include "RunCounter.h"
#include "Int128.h"
#include "common/IVelkProgress.h"
#include "common/IVolume.h"

namespace engine {

namespace {

constexpr int64_t kChunkClusters = 65536;

void CopyFromMap(const ClusterMap& map, int64_t position, int64_t count, uint8_t* buffer)
{
    const uint64_t from = static_cast<uint64_t>(position) / 8;
    if (from >= map.Size())
        return;
    uint64_t bytes = static_cast<uint64_t>(count) / 8; // a partial last byte counts as free
    if (bytes > map.Size() - from)
        bytes = map.Size() - from;
    std::memcpy(buffer, map.Data() + from, static_cast<size_t>(bytes));
}

} // namespace

BitmapPassResult RunBitmapPass(IVolume& volume, IVelkProgress* progress, int64_t end, const ClusterMap& map)
{
    BitmapPassResult result;
    RunCounter runs;
    std::array<uint8_t, kChunkClusters / 8> buffer;
    for (int64_t position = 0; position < end;) {
        const int percent = static_cast<int>(static_cast<Int128>(position) * 100 / end);
        if (progress != nullptr && progress->OnLevelProgress(percent) == 0) {
            result.stopped = true;
            break;
        }
        const int64_t count = end - position < kChunkClusters ? end - position : kChunkClusters;
        buffer.fill(0);
        if (volume.ReadBitmap(position, static_cast<uint32_t>(count), buffer.data()) == 0)
            CopyFromMap(map, position, count, buffer.data());
        runs.Feed(buffer.data(), static_cast<size_t>(count));
        position += count;
    }
    runs.CloseRun();
    result.usedRuns = runs.UsedFactor();
    result.freeRuns = runs.FreeFactor();
    return result;
}

} // namespace engine
