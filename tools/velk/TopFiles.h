#pragma once
// The files that add most to a scan's file term, caught on their way from the
// plug-in to the engine: a proxy IVolume hands the engine's sink a proxy sink
// that forwards every call unchanged and records each file's contribution.

#include <cstdint>
#include <string>
#include <vector>

#include "IVolume.h"

namespace velk {

struct TopFile {
    std::u16string path;
    uint32_t extents = 0;
    double contribution = 0.0; // S*S/Q - 1 over the file's extent lengths
};

// Keeps the `capacity` largest contributions, largest first; the file handed
// over first wins a tie.
class TopFileList {
public:
    explicit TopFileList(std::size_t capacity) : m_capacity(capacity) {}
    void Clear() { m_files.clear(); }
    void Offer(const FileRecord* record);
    const std::vector<TopFile>& Files() const noexcept { return m_files; }

private:
    std::size_t m_capacity;
    std::vector<TopFile> m_files;
};

class RecordingSink final : public IFileExtentSink {
public:
    RecordingSink(IFileExtentSink* inner, TopFileList* top) : m_inner(inner), m_top(top) {}
    int AddFile(int percent, int a, int b, int c, FileRecord* record) override;
    int EndFiles(int64_t filesScanned, int interrupted) override;
    void BeginVolume(uint32_t a, uint32_t clusterSize, uint32_t b, int64_t totalClusters,
                     int64_t clustersInUse) override;

private:
    IFileExtentSink* m_inner;
    TopFileList* m_top;
};

class RecordingVolume final : public IVolume {
public:
    RecordingVolume(IVolume* inner, TopFileList* top) : m_inner(inner), m_top(top) {}
    ~RecordingVolume() = default;

    int Open(const char16_t* path) override { return m_inner->Open(path); }
    int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache) override;
    void Close() override { m_inner->Close(); }
    void Unused() override { m_inner->Unused(); }
    const char16_t* GetFileSystemName() override { return m_inner->GetFileSystemName(); }
    int ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer) override
    {
        return m_inner->ReadBitmap(firstCluster, count, buffer);
    }
    const char16_t* GetDetails() override { return m_inner->GetDetails(); }

private:
    IVolume* m_inner;
    TopFileList* m_top;
};

} // namespace velk
