#pragma once
// Reads one NTFS volume through libntfs-3g, read-only: the volume's facts,
// every file and directory with its physical extents (LCNs), and the cluster
// allocation bitmap.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fsm/ext4/ImageSource.h"
#include "fsm/shared/ReaderWalk.h"

namespace fsm::ntfs {

using fsm::Run;
using fsm::WalkResult;
using fsm::WalkSink;

struct VolumeFacts {
    uint32_t clusterSize = 0;
    int64_t totalClusters = 0;
    int64_t clustersInUse = 0; // counted from $Bitmap
    uint32_t mftRecordSize = 0;
    int64_t mftBytes = 0;
    int64_t mftRecords = 0;
    int majorVersion = 0;
    int minorVersion = 0;
    std::u16string label;
    uint32_t serial = 0; // low 32 bits of the volume serial in $Boot
};

class NtfsReader {
public:
    NtfsReader();
    ~NtfsReader();
    NtfsReader(const NtfsReader&) = delete;
    NtfsReader& operator=(const NtfsReader&) = delete;

    // 0 or a Win32 status. Any volume open before is closed first.
    int Open(std::unique_ptr<ImageSource> source);
    int OpenPath(const std::string& path);
    void Close() noexcept;
    bool IsOpen() const noexcept;

    const VolumeFacts& Facts() const noexcept { return m_facts; }
    WalkResult Walk(WalkSink& sink);
    bool ReadBitmap(int64_t first, uint32_t count, uint8_t* buffer);

private:
    struct State;
    std::unique_ptr<State> m_state;
    VolumeFacts m_facts;
};

} // namespace fsm::ntfs
