// The exports of fsm1 ("FAT32"), fsm2 ("FAT": FAT12 and FAT16) and fsm4 (the
// legacy family's FAT plug-in), built from this one file with VELK_FAT_MODULE
// set to the plug-in's number.
//
// fsm4 is tried only on the legacy family, after fsm1 and fsm2, and the first
// plug-in whose name matches a volume serves it. It reports "FAT" and reads
// every FAT type, so a legacy installation without fsm1 and fsm2 still serves
// FAT12/16 volumes; while fsm2 is present it is never chosen.

#include <new>

#include "FatReader.h"
#include "PluginVolume.h"
#include "platform/Status.h"

#ifndef VELK_FAT_MODULE
#error "VELK_FAT_MODULE names the plug-in: 1, 2 or 4"
#endif

namespace {

#if VELK_FAT_MODULE == 1
constexpr const char16_t* kName = u"FAT32";
constexpr unsigned kServes = fat::kServesFat32;
#elif VELK_FAT_MODULE == 2
constexpr const char16_t* kName = u"FAT";
constexpr unsigned kServes = fat::kServesFat12 | fat::kServesFat16;
#elif VELK_FAT_MODULE == 4
constexpr const char16_t* kName = u"FAT";
constexpr unsigned kServes = fat::kServesAnyFat;
#else
#error "VELK_FAT_MODULE must be 1, 2 or 4"
#endif

} // namespace

extern "C" {

__attribute__((visibility("default"))) void CreateVolume(IVolume** volume)
{
    if (volume == nullptr)
        return;
    try {
        *volume = new fsread::PluginVolume(kName, std::make_unique<fat::FatReader>(kServes));
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
    if (imagePath == nullptr || facts == nullptr)
        return platform::status::kInvalidParameter;
    fsread::VolumeFacts read;
    const int status = fat::ReadVolumeInfo(imagePath, &read, kServes);
    if (status == platform::status::kSuccess)
        fsread::CopyImageFacts(read, facts);
    return status;
}

} // extern "C"
