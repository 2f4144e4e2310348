#pragma once
// Reading a directory's clusters, shared by the FAT and exFAT walks.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "BlockSource.h"
#include "RunList.h"
#include "platform/Status.h"

namespace fsread {

// Reads the runs of a directory a piece at a time (whole clusters, about 1 MiB)
// into `buffer` and hands each piece to `parse(data, bytes)`, which returns
// false at the directory's end. Returns 0, or the first cluster of a piece that
// could not be read. `buffer` grows once and is never shrunk, so no read pays
// for zero-filling.
template <typename Layout, typename Parse>
uint32_t ReadDirectoryPieces(BlockSource& source, const Layout& layout, const RunList& runs,
                             std::vector<uint8_t>& buffer, Parse parse)
{
    const uint64_t clustersPerRead = std::max<uint64_t>(1, (uint64_t{1} << 20) / layout.clusterSize);
    for (const Run& run : runs.Runs()) {
        for (int64_t done = 0; done < run.length;) {
            const uint64_t count = std::min<uint64_t>(clustersPerRead, static_cast<uint64_t>(run.length - done));
            const auto cluster = static_cast<uint32_t>(run.first + done + 2);
            const uint64_t bytes = count * layout.clusterSize;
            if (buffer.size() < bytes)
                buffer.resize(bytes);
            if (source.Read(layout.ClusterOffset(cluster), buffer.data(), bytes) != platform::status::kSuccess)
                return cluster;
            if (!parse(buffer.data(), bytes))
                return 0;
            done += static_cast<int64_t>(count);
        }
    }
    return 0;
}

} // namespace fsread
