#pragma once
// The texts and report file names of a listed volume, unbounded; the
// VolumeAccess copies them into its buffers.

#include <string>

#include "VolumeRecord.h"

namespace mountx {

std::u16string VolumeDescription(const VolumeRecord& volume);
std::u16string VolumeCaption(const VolumeRecord& volume);
std::u16string VolumeDetails(const VolumeRecord& volume);
std::u16string DumpFileName(const VolumeRecord& volume, const std::u16string& timestamp);
std::u16string SummaryFileName(const VolumeRecord& volume, const std::u16string& timestamp);

} // namespace mountx
