#include "IsLegacyPlatform.h"

#include "platform/Version.h"

bool IsLegacyPlatform()
{
    static const bool legacy = [] {
        const uint32_t word = platform::GetVersionWord();
        const unsigned major = word & 0xFF;
        const unsigned minor = (word >> 8) & 0xFF;
        return major == 3 || (major == 4 && minor != 0);
    }();
    return legacy;
}
