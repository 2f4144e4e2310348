#pragma once
// Reads one ext4 (or ext2/ext3) volume through libext2fs, read-only: the volume's
// facts, every file with its physical extents, and the block allocation bitmap.
// Cluster numbers are block numbers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ImageSource.h"
#include "fsm/shared/ReaderWalk.h"

namespace fsm::ext4 {

using fsm::Run;
using fsm::WalkResult;
using fsm::WalkSink;

struct VolumeFacts {
    uint32_t blockSize = 0;
    int64_t totalBlocks = 0;
    int64_t blocksInUse = 0; // counted from the bitmap
    int64_t freeBlocksCounter = 0; // the superblock's own, possibly lagging
    uint32_t groupCount = 0;
    uint32_t inodeCount = 0;
    uint32_t inodesPerGroup = 0;
    uint32_t firstDataBlock = 0;
    std::u16string label;
    uint32_t serial = 0; // first four bytes of the UUID, as a volume serial
    std::string uuid;
    bool bitmapAvailable = false;
};

class Ext4Reader {
public:
    Ext4Reader();
    ~Ext4Reader();
    Ext4Reader(const Ext4Reader&) = delete;
    Ext4Reader& operator=(const Ext4Reader&) = delete;

    // 0 or a Win32 status. Any volume open before is closed first.
    int Open(std::unique_ptr<ImageSource> source);
    int OpenPath(const std::string& path);
    void Close() noexcept;
    bool IsOpen() const noexcept;

    const VolumeFacts& Facts() const noexcept { return m_facts; }
    WalkResult Walk(WalkSink& sink);
    // Bit i of `buffer` (LSB first) for block first + i; false when the bitmap
    // cannot be read or the request is out of range.
    bool ReadBitmap(int64_t first, uint32_t count, uint8_t* buffer);

private:
    struct State;
    std::unique_ptr<State> m_state;
    VolumeFacts m_facts;
};

} // namespace fsm::ext4
