#include "PercentFree.h"

namespace mountx {

int PercentFree(uint64_t freeBytes, uint64_t totalBytes)
{
    if (totalBytes == 0)
        return 0;
    const double percent = static_cast<double>(freeBytes) / static_cast<double>(totalBytes) * 100.0;
    // A file system never reports more free than total, but the caption promises 0 to 100.
    if (percent >= 100.0)
        return 100;
    if (percent < 1.0 && percent > 0.5)
        return 1;
    return static_cast<int>(percent);
}

} // namespace mountx
