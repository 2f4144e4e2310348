#pragma once
#include <cstdint>

namespace platform {

// The system version word in the layout the legacy check reads: major version
// in the lowest byte, minor in the next. This system reports 6.0 (not legacy); the
// environment variable VELKLEVEL2_VERSION_WORD (decimal or 0x hex) overrides
// it so the legacy paths can be tested.
uint32_t GetVersionWord();

} // namespace platform
