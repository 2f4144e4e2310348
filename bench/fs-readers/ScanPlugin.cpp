// Drives one volume-system plug-in over one volume the way the engine does:
// Open, EnumerateFiles (every file and extent), then ReadBitmap in chunks of
// 65,536 clusters over the whole volume. Prints what it saw on one line.
//
//   scan_plugin <plugin.so> <drive letter>   (the letter from the volume table)

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "IVolume.h"
#include "platform/Library.h"
#include "platform/Utf.h"

namespace {

class CountingSink final : public IFileExtentSink, public IVolumeLog {
public:
    int AddFile(int, int, int, int, FileRecord* record) override
    {
        ++files;
        if (record->extents != nullptr)
            extents += record->extents->count;
        return 1;
    }
    int EndFiles(int64_t, int) override { return 1; }
    void BeginVolume(uint32_t, uint32_t, uint32_t, int64_t total, int64_t inUse) override
    {
        totalClusters = total;
        clustersInUse = inUse;
    }
    void Report(const void*, uint32_t, const char16_t*, ...) override { ++reports; }

    int64_t files = 0;
    int64_t extents = 0;
    int64_t reports = 0;
    int64_t totalClusters = 0;
    int64_t clustersInUse = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || std::strlen(argv[2]) != 1) {
        std::fprintf(stderr, "usage: scan_plugin <plugin.so> <drive letter>\n");
        return 2;
    }
    platform::Library library;
    if (!library.Load(platform::ToUtf16(argv[1]))) {
        std::fprintf(stderr, "scan_plugin: %s\n", library.Error().c_str());
        return 1;
    }
    auto create = library.Function<CreateVolumeFn>("CreateVolume");
    auto destroy = library.Function<DeleteVolumeFn>("DeleteVolume");
    IVolume* volume = nullptr;
    if (create == nullptr || destroy == nullptr || (create(&volume), volume == nullptr)) {
        std::fprintf(stderr, "scan_plugin: no volume object\n");
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    std::u16string path = u"\\\\.\\?:";
    path[4] = static_cast<char16_t>(argv[2][0]);
    int status = volume->Open(path.c_str());
    if (status != 0) {
        std::fprintf(stderr, "scan_plugin: Open failed with status %d\n", status);
        destroy(&volume);
        return 1;
    }
    CountingSink sink;
    volume->EnumerateFiles(&sink, &sink, nullptr);
    std::vector<uint8_t> chunk(8192);
    int64_t used = 0;
    for (int64_t first = 0; first < sink.totalClusters; first += 65536) {
        if (volume->ReadBitmap(first, 65536, chunk.data()) == 0)
            break;
        for (uint8_t byte : chunk)
            used += __builtin_popcount(byte);
    }
    volume->Close();
    destroy(&volume);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("files %lld extents %lld reports %lld clusters %lld in-use %lld bitmap-in-use %lld scan %.3f s\n",
                static_cast<long long>(sink.files), static_cast<long long>(sink.extents),
                static_cast<long long>(sink.reports), static_cast<long long>(sink.totalClusters),
                static_cast<long long>(sink.clustersInUse), static_cast<long long>(used), seconds);
    return 0;
}
