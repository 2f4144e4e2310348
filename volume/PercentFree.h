#pragma once
#include <cstdint>

namespace mountx {

// Percent free is used in the volume caption. Truncated toward zero, except that
// a value above 0.5 and below 1 gives 1. A volume of 0 bytes has none free.
int PercentFree(uint64_t freeBytes, uint64_t totalBytes);

// What a failed free-space query leaves in place of the total and percent free.
constexpr uint64_t kUnknownTotalBytes = 0xFFFFFFFFFFFFFFFFull;
constexpr int kUnknownPercentFree = 30;

} // namespace mountx
