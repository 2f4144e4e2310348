// libFuzzer: one input is a whole ntfs image, read from memory: open, walk
// every file, read the whole bitmap.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fsm/ntfs/NtfsReader.h"

namespace {
struct NullSink final : fsm::ntfs::WalkSink {
    bool OnFile(int, const std::u16string&, const std::vector<fsm::ntfs::Run>&) override { return true; }
    void OnDamage(const void*, std::size_t, const std::u16string&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fsm::ntfs::NtfsReader reader;
    if (reader.Open(fsm::MakeMemorySource(std::vector<uint8_t>(data, data + size))) != 0)
        return 0;
    NullSink sink;
    reader.Walk(sink);
    std::vector<uint8_t> chunk(8192);
    for (int64_t first = 0; first < reader.Facts().totalClusters; first += 65536)
        reader.ReadBitmap(first, 65536, chunk.data());
    return 0;
}
