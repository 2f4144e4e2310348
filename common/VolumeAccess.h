#pragma once
// The volume list as mountx exports it. Slot order is part of the binary interface.

#include "IVolume.h"

class VolumeAccess {
public:
    virtual int GetVolumeCount() = 0;
    virtual const char16_t* GetVolumeDescription(unsigned index) = 0;
    virtual IVolume* OpenVolume(unsigned index, int* status) = 0;
    virtual const char16_t* GetDumpFileName(unsigned index) = 0;
    virtual const char16_t* GetSummaryFileName(unsigned index) = 0;
    virtual const char16_t* GetVolumeCaption(unsigned index) = 0;
    virtual const char16_t* GetVolumeDetails(unsigned index) = 0;
    virtual void RefreshFreeSpace(unsigned index) = 0;
    virtual ~VolumeAccess() = default;
};

extern "C" {
using CreateVolumeAccessFn = void (*)(VolumeAccess**, unsigned driveTypeMask, const char16_t* pluginFolder);
using FreeVolumeAccessFn = void (*)(VolumeAccess**);
}
