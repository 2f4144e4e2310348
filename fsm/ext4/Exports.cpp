// The two entry points mountx looks up by name.
#include <new>

#include "Ext4Volume.h"

extern "C" {

__attribute__((visibility("default"))) void CreateVolume(IVolume** volume)
{
    if (volume == nullptr)
        return;
    *volume = new (std::nothrow) fsm::ext4::Ext4Volume;
}

__attribute__((visibility("default"))) void DeleteVolume(IVolume** volume)
{
    if (volume == nullptr || *volume == nullptr)
        return;
    delete static_cast<fsm::ext4::Ext4Volume*>(*volume);
    *volume = nullptr;
}
}
