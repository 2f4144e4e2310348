#pragma once
// Lists the drives a VolumeAccess offers: those whose type passes the mask,
// whose volume information can be read and whose file system a plug-in serves.

#include <vector>

#include "PluginSet.h"
#include "VolumeRecord.h"

namespace mountx {

constexpr std::size_t kMaxVolumes = 32;

std::vector<VolumeRecord> ListDrives(unsigned driveTypeMask, bool legacy, const PluginSet& plugins);

// Queries the free space of a drive's root: percent free, and the total bytes
// (all ones when the query fails).
void QueryFreeSpace(char16_t driveLetter, int* percentFree, uint64_t* totalBytes);

} // namespace mountx
