// libFuzzer target: one input is the start of a FAT volume (boot sector, FAT,
// directories); the rest of a 64 MiB volume reads as zeros, so small inputs
// reach every part of the reader.

#include <cstddef>
#include <cstdint>

#include "FatReader.h"
#include "ZeroPaddedSource.h"

namespace {

class NullSink final : public fsread::WalkSink {
public:
    bool OnFile(int, std::u16string_view, const fsread::RunList&) override { return true; }
    void OnDamage(std::u16string_view) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fat::FatReader reader;
    if (reader.Open(std::make_unique<fuzzing::ZeroPaddedSource>(data, size)) != 0)
        return 0;
    NullSink sink;
    reader.Walk(sink);
    uint8_t bits[8192];
    reader.Allocation().CopyBits(0, 65536, bits);
    reader.Allocation().CopyBits(reader.Facts().totalClusters - 5, 65536, bits);
    (void)reader.DetailLines();
    return 0;
}
