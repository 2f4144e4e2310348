// The exports every volume-system plug-in offers.

#include <dlfcn.h>

#include <cstdlib>
#include <new>
#include <string>

#include "ScriptedVolume.h"
#include "platform/Utf.h"

namespace {

// "fsm3" for this library loaded as .../fsm3.so: copies of one plug-in under
// several numbers tell themselves apart by it.
std::string OwnLibraryStem()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&OwnLibraryStem), &info) || !info.dli_fname)
        return "fsm";
    std::string name = info.dli_fname;
    name = name.substr(name.rfind('/') + 1);
    return name.substr(0, name.find('.'));
}

} // namespace

extern "C" __attribute__((visibility("default"))) void CreateVolume(IVolume** out)
{
    if (!out)
        return;
    try {
        const std::string stem = OwnLibraryStem();
        // Tests give a copy of the plug-in another file-system name through
        // VELKSCRIPT_FS_NAME_<stem>, e.g. VELKSCRIPT_FS_NAME_fsm1=Network.
        std::u16string name = u"VelkScript";
        if (const char* chosen = std::getenv(("VELKSCRIPT_FS_NAME_" + stem).c_str()))
            name = platform::ToUtf16(chosen);
        *out = new (std::nothrow) scripted::ScriptedVolume(name, platform::ToUtf16(stem));
    } catch (...) {
        *out = nullptr;
    }
}

extern "C" __attribute__((visibility("default"))) void DeleteVolume(IVolume** volume)
{
    if (!volume || !*volume)
        return;
    delete static_cast<scripted::ScriptedVolume*>(*volume);
    *volume = nullptr;
}
