#include "NtfsDevice.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <algorithm>

namespace fsm::ntfs {
namespace {

using DeviceState = SourceDeviceState;

DeviceState* StateOf(struct ntfs_device* dev) { return static_cast<DeviceState*>(dev->d_private); }

int Open(struct ntfs_device* dev, int flags)
{
    if ((flags & O_ACCMODE) != O_RDONLY) {
        errno = EROFS;
        return -1;
    }
    NDevSetOpen(dev);
    NDevSetReadOnly(dev);
    return 0;
}

int Close(struct ntfs_device* dev)
{
    NDevClearOpen(dev);
    return 0;
}

// A read that reaches past the end is short, as it is on a file.
s64 ReadAt(struct ntfs_device* dev, void* buffer, s64 count, s64 offset)
{
    DeviceState* state = StateOf(dev);
    if (state == nullptr || count < 0 || offset < 0) {
        errno = EINVAL;
        return -1;
    }
    const uint64_t size = state->source->Size();
    if (static_cast<uint64_t>(offset) >= size)
        return 0;
    const uint64_t available = size - static_cast<uint64_t>(offset);
    const uint64_t want = std::min<uint64_t>(static_cast<uint64_t>(count), available);
    int error = state->source->ReadAt(static_cast<uint64_t>(offset), buffer, static_cast<std::size_t>(want));
    if (error != 0) {
        errno = error;
        return -1;
    }
    return static_cast<s64>(want);
}

s64 Seek(struct ntfs_device* dev, s64 offset, int whence)
{
    DeviceState* state = StateOf(dev);
    int64_t base = whence == SEEK_SET ? 0
                   : whence == SEEK_CUR ? state->position
                                        : static_cast<int64_t>(state->source->Size());
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) {
        errno = EINVAL;
        return -1;
    }
    if (offset < 0 && base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    state->position = base + offset;
    return state->position;
}

s64 Read(struct ntfs_device* dev, void* buffer, s64 count)
{
    s64 got = ReadAt(dev, buffer, count, StateOf(dev)->position);
    if (got > 0)
        StateOf(dev)->position += got;
    return got;
}

s64 RefuseWrite(struct ntfs_device*, const void*, s64)
{
    errno = EROFS;
    return -1;
}

s64 RefusePwrite(struct ntfs_device*, const void*, s64, s64)
{
    errno = EROFS;
    return -1;
}

int Sync(struct ntfs_device*) { return 0; }

int Stat(struct ntfs_device* dev, struct stat* buffer)
{
    std::memset(buffer, 0, sizeof *buffer);
    buffer->st_mode = S_IFREG | 0444;
    buffer->st_size = static_cast<off_t>(StateOf(dev)->source->Size());
    return 0;
}

int Ioctl(struct ntfs_device*, unsigned long, void*)
{
    errno = ENOTTY;
    return -1;
}

struct ntfs_device_operations g_operations = {Open, Close, Seek, Read, RefuseWrite, ReadAt, RefusePwrite,
                                              Sync, Stat, Ioctl};

} // namespace

struct ntfs_device* AllocateSourceDevice(SourceDeviceState* state)
{
    state->position = 0;
    return ntfs_device_alloc("image", 0, &g_operations, state);
}

} // namespace fsm::ntfs
