// libFuzzer target: one input is the start of an exFAT volume (boot region,
// FAT, bitmap, directories); the rest of a 64 MiB volume reads as zeros. The
// boot checksum is sealed here, or the fuzzer would never get past it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ExfatLayout.h"
#include "ExfatReader.h"
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
    std::vector<uint8_t> input(data, data + size);
    if (input.size() > 109) {
        std::size_t sector = std::size_t{1} << (input[108] >= 9 && input[108] <= 12 ? input[108] : 9);
        if (input.size() < sector * 12)
            input.resize(sector * 12, 0);
        uint32_t sum = exfat::BootChecksum(input.data(), sector);
        for (std::size_t at = sector * 11; at < sector * 12; at += 4) {
            for (int i = 0; i < 4; ++i)
                input[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(sum >> (8 * i));
        }
    }
    exfat::ExfatReader reader;
    if (reader.Open(std::make_unique<fuzzing::ZeroPaddedSource>(input.data(), input.size())) != 0)
        return 0;
    NullSink sink;
    reader.Walk(sink);
    uint8_t bits[8192];
    reader.Allocation().CopyBits(0, 65536, bits);
    (void)reader.DetailLines();
    return 0;
}
