#include "Ext4Volume.h"

#include "platform/Format.h"

namespace fsm::ext4 {

std::u16string Ext4Traits::FactLines(const VolumeFacts& f)
{
    return platform::Format(u"Block size: %u bytes\nBlocks: %I64d\nBlocks in use: %I64d\nBlock groups: %u\n"
                            u"Inodes: %u\n",
                            f.blockSize, f.totalBlocks, f.blocksInUse, f.groupCount, f.inodeCount);
}

} // namespace fsm::ext4
