#pragma once
// What a file-system reader of ours offers the plug-in layer: open a volume
// from a block source, walk its files, and lend its allocation bitmap.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "BlockSource.h"
#include "ClusterSet.h"
#include "RunList.h"
#include "common/ImageFacts.h"

namespace fsread {

struct VolumeFacts {
    std::u16string fileSystemName; // as Windows spells it: "FAT32", "FAT", "exFAT"
    std::u16string label;
    uint32_t serial = 0;
    uint32_t clusterSize = 0;
    int64_t totalClusters = 0;
    int64_t clustersInUse = 0;
    uint64_t totalBytes = 0; // the data area, as a free-space query counts it
    uint64_t freeBytes = 0;
};

class WalkSink {
public:
    // false stops the walk.
    virtual bool OnFile(int percent, std::u16string_view path, const RunList& runs) = 0;
    // Damage met on the way; the walk goes on.
    virtual void OnDamage(std::u16string_view text) = 0;

protected:
    ~WalkSink() = default;
};

struct WalkResult {
    int64_t files = 0;
    bool interrupted = false;
};

class VolumeReader {
public:
    virtual ~VolumeReader() = default;
    // 0, or a Win32 status (1005 not this file system, 1392 damaged beyond use).
    virtual int Open(std::unique_ptr<BlockSource> source) = 0;
    virtual void Close() noexcept = 0;
    virtual bool IsOpen() const noexcept = 0;
    virtual const VolumeFacts& Facts() const noexcept = 0;
    virtual const ClusterSet& Allocation() const noexcept = 0;
    virtual WalkResult Walk(WalkSink& sink) = 0;
    // The file system's own facts, one "Name: value\n" line each.
    virtual std::u16string DetailLines() const = 0;
};

// Opens `path` read-only with a new reader and gives its facts: how the volume
// table learns size, free space, label and serial of an image volume.
int ReadVolumeFacts(VolumeReader& reader, const std::string& path, VolumeFacts* facts);

// The same, in the form of the plug-ins' "ReadImageFacts" export.
int ReadImageFacts(VolumeReader& reader, const char* path, VelkImageFacts* facts);
void CopyImageFacts(const VolumeFacts& read, VelkImageFacts* facts);

} // namespace fsread
