// libFuzzer: one input is a whole ext4 image, read from memory: open, walk
// every file, read the whole bitmap.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fsm/ext4/Ext4Reader.h"

namespace {
struct NullSink final : fsm::ext4::WalkSink {
    bool OnFile(int, const std::u16string&, const std::vector<fsm::ext4::Run>&) override { return true; }
    void OnDamage(const void*, std::size_t, const std::u16string&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fsm::ext4::Ext4Reader reader;
    if (reader.Open(fsm::MakeMemorySource(std::vector<uint8_t>(data, data + size))) != 0)
        return 0;
    NullSink sink;
    reader.Walk(sink);
    std::vector<uint8_t> chunk(8192);
    for (int64_t first = 0; first < reader.Facts().totalBlocks; first += 65536)
        reader.ReadBitmap(first, 65536, chunk.data());
    return 0;
}
