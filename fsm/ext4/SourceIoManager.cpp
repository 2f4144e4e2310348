#include "SourceIoManager.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fsm::ext4 {
namespace {

thread_local ImageSource* t_pendingSource = nullptr;

struct Channel {
    struct struct_io_channel io {};
    ImageSource* source = nullptr;
    char name[8] = "source";
};

ImageSource* SourceOf(io_channel channel) { return static_cast<ImageSource*>(channel->private_data); }

errcode_t MapReadError(int error)
{
    return error == ENXIO ? EXT2_ET_SHORT_READ : static_cast<errcode_t>(error);
}

errcode_t Read(io_channel channel, unsigned long long block, int count, void* data)
{
    if (channel == nullptr || channel->block_size <= 0)
        return EXT2_ET_MAGIC_IO_CHANNEL;
    uint64_t size = count < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(count))
                              : static_cast<uint64_t>(count) * static_cast<uint64_t>(channel->block_size);
    const uint64_t blockSize = static_cast<uint64_t>(channel->block_size);
    if (block > UINT64_MAX / blockSize)
        return EXT2_ET_SHORT_READ;
    int error = SourceOf(channel)->ReadAt(block * blockSize, data, static_cast<std::size_t>(size));
    if (error != 0) {
        std::memset(data, 0, static_cast<std::size_t>(size));
        return MapReadError(error);
    }
    return 0;
}

errcode_t Open(const char*, int flags, io_channel* channel)
{
    if (channel == nullptr)
        return EXT2_ET_BAD_DEVICE_NAME;
    if ((flags & IO_FLAG_RW) != 0)
        return EXT2_ET_RO_FILSYS;
    if (t_pendingSource == nullptr)
        return EXT2_ET_BAD_DEVICE_NAME;
    auto* holder = new (std::nothrow) Channel;
    if (holder == nullptr)
        return EXT2_ET_NO_MEMORY;
    holder->source = t_pendingSource;
    t_pendingSource = nullptr;
    io_channel io = &holder->io;
    io->magic = EXT2_ET_MAGIC_IO_CHANNEL;
    io->manager = SourceIoManager();
    io->name = holder->name;
    io->block_size = 1024;
    io->refcount = 1;
    io->private_data = holder->source;
    *channel = io;
    return 0;
}

errcode_t Close(io_channel channel)
{
    if (channel == nullptr)
        return 0;
    if (--channel->refcount > 0)
        return 0;
    // The channel is the first member of its holder.
    delete reinterpret_cast<Channel*>(channel);
    return 0;
}

errcode_t SetBlockSize(io_channel channel, int size)
{
    if (size <= 0)
        return EXT2_ET_INVALID_ARGUMENT;
    channel->block_size = size;
    return 0;
}

errcode_t ReadBlock(io_channel channel, unsigned long block, int count, void* data)
{
    return Read(channel, block, count, data);
}

errcode_t ReadBlock64(io_channel channel, unsigned long long block, int count, void* data)
{
    return Read(channel, block, count, data);
}

errcode_t RefuseWrite(io_channel, unsigned long, int, const void*) { return EXT2_ET_RO_FILSYS; }
errcode_t RefuseWrite64(io_channel, unsigned long long, int, const void*) { return EXT2_ET_RO_FILSYS; }
errcode_t RefuseWriteByte(io_channel, unsigned long, int, const void*) { return EXT2_ET_RO_FILSYS; }
errcode_t Flush(io_channel) { return 0; }
errcode_t SetOption(io_channel, const char*, const char*) { return EXT2_ET_INVALID_ARGUMENT; }

struct struct_io_manager MakeManager()
{
    struct struct_io_manager manager {};
    manager.magic = EXT2_ET_MAGIC_IO_MANAGER;
    manager.name = "velk read-only source";
    manager.open = Open;
    manager.close = Close;
    manager.set_blksize = SetBlockSize;
    manager.read_blk = ReadBlock;
    manager.write_blk = RefuseWrite;
    manager.flush = Flush;
    manager.write_byte = RefuseWriteByte;
    manager.set_option = SetOption;
    manager.read_blk64 = ReadBlock64;
    manager.write_blk64 = RefuseWrite64;
    return manager;
}

struct struct_io_manager g_manager = MakeManager();

} // namespace

void BindSourceForOpen(ImageSource* source) { t_pendingSource = source; }

io_manager SourceIoManager() { return &g_manager; }

} // namespace fsm::ext4
