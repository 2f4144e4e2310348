// The exports of fsm3, the "exFAT" plug-in.

#include <new>

#include "ExfatReader.h"
#include "PluginVolume.h"
#include "platform/Status.h"

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

// Size, free space, label and serial of an image, for the volume table.
__attribute__((visibility("default"))) int ReadImageFacts(const char* imagePath, VelkImageFacts* facts)
{
    try {
        exfat::ExfatReader reader;
        return fsread::ReadImageFacts(reader, imagePath, facts);
    } catch (...) {
        return platform::status::kNotEnoughMemory;
    }
}

} // extern "C"
