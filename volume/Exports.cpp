// The two exports of mountx, looked up by name.

#include <new>
#include <type_traits>

#include "MountVolumeAccess.h"

extern "C" __attribute__((visibility("default"))) void CreateVolumeAccess(VolumeAccess** out, unsigned driveTypeMask,
                                                                          const char16_t* pluginFolder)
{
    if (!out)
        return;
    try {
        *out = new (std::nothrow) mountx::MountVolumeAccess(driveTypeMask, pluginFolder);
    } catch (...) {
        *out = nullptr;
    }
}

extern "C" __attribute__((visibility("default"))) void FreeVolumeAccess(VolumeAccess** p)
{
    if (!p || !*p)
        return;
    try {
        delete *p;
    } catch (...) {
        // Nothing more can be done; the pointer is still cleared.
    }
    *p = nullptr;
}

// Both exports must match the types the front ends look them up with.
static_assert(std::is_same_v<decltype(&CreateVolumeAccess), CreateVolumeAccessFn>);
static_assert(std::is_same_v<decltype(&FreeVolumeAccess), FreeVolumeAccessFn>);
