// The exports of fsm3, the "exFAT" plug-in.

#include <new>

#include "ExfatReader.h"
#include "PluginVolume.h"

extern "C" {

__attribute__((visibility("default"))) void CreateVolume(IVolume** volume)
{
    if (volume == nullptr)
        return;
    try {
        *volume = new fsread::PluginVolume(u"exFAT", std::make_unique<exfat::ExfatReader>());
    } catch (...) {
        *volume = nullptr;
    }
}

__attribute__((visibility("default"))) void DeleteVolume(IVolume** volume)
{
    if (volume == nullptr || *volume == nullptr)
        return;
    delete static_cast<fsread::PluginVolume*>(*volume);
    *volume = nullptr;
}

} // extern "C"
