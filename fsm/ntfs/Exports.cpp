// The two entry points mountx looks up by name.
#include <new>

#include "NtfsVolume.h"

extern "C" {

__attribute__((visibility("default"))) void CreateVolume(IVolume** volume)
{
    if (volume == nullptr)
        return;
    *volume = new (std::nothrow) fsm::ntfs::NtfsVolume;
}

__attribute__((visibility("default"))) void DeleteVolume(IVolume** volume)
{
    if (volume == nullptr || *volume == nullptr)
        return;
    delete static_cast<fsm::ntfs::NtfsVolume*>(*volume);
    *volume = nullptr;
}
}
