// Broken volume-system plug-ins for the loader's tests.

#include "IVolume.h"

#if defined(TEST_PLUGIN_CREATEONLY) || defined(TEST_PLUGIN_NULLVOLUME)
extern "C" __attribute__((visibility("default"))) void CreateVolume(IVolume** out)
{
    if (out)
        *out = nullptr;
}
#endif

#if defined(TEST_PLUGIN_NULLVOLUME)
extern "C" __attribute__((visibility("default"))) void DeleteVolume(IVolume** volume)
{
    if (volume)
        *volume = nullptr;
}
#endif

#if defined(TEST_PLUGIN_NOEXPORTS)
extern "C" int TestPluginHidden() { return 0; }
#endif
