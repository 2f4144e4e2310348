#pragma once
// A libntfs-3g device over an ImageSource: reads only; every write, sync of
// dirty data or ioctl is refused, so the library cannot change a volume.

#include "NtfsLib.h"
#include "fsm/ext4/ImageSource.h"

namespace fsm::ntfs {

struct SourceDeviceState {
    ImageSource* source = nullptr;
    int64_t position = 0;
};

// A device that reads through `state` (which must outlive it); null and errno
// set on failure. Free it with ntfs_device_free unless a mount took it over.
struct ntfs_device* AllocateSourceDevice(SourceDeviceState* state);

} // namespace fsm::ntfs
