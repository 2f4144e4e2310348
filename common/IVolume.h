#pragma once
// The contract between the engine and a volume-system plug-in. Slot order is
// part of the binary interface: never insert a virtual function.

#include <cstdint>

#include "Records.h"

class IFileExtentSink {
public:
    // 0 asks the plug-in to stop its walk.
    virtual int AddFile(int percent, int notRead1, int notRead2, int notRead3, FileRecord* record) = 0;
    virtual int EndFiles(int64_t filesScanned, int interrupted) = 0;
    virtual void BeginVolume(uint32_t notRead1, uint32_t clusterSize, uint32_t notRead2, int64_t totalClusters,
                             int64_t clustersInUse) = 0;
    virtual ~IFileExtentSink() = default;
};

class IVolumeLog {
public:
    // `format` is printf-style UTF-16 ("%s" takes a const char16_t*, "%I64d" an int64_t).
    virtual void Report(const void* data, uint32_t size, const char16_t* format, ...) = 0;

protected:
    ~IVolumeLog() = default;
};

class IVolume {
public:
    // `path` is "\\.\X:"; 0 or a Win32 status.
    virtual int Open(const char16_t* path) = 0;
    virtual int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache) = 0;
    virtual void Close() = 0;
    virtual void Unused() = 0; // holds the fourth slot; never called
    virtual const char16_t* GetFileSystemName() = 0;
    // Sets bit (i mod 8) of byte (i div 8) when cluster first + i is in use;
    // count <= 65536. Nonzero: filled; 0: not available.
    virtual int ReadBitmap(int64_t firstCluster, uint32_t count, uint8_t* buffer) = 0;
    virtual const char16_t* GetDetails() = 0; // may be null

protected:
    ~IVolume() = default; // DeleteVolume of the plug-in destroys it
};

extern "C" {
using CreateVolumeFn = void (*)(IVolume**);
using DeleteVolumeFn = void (*)(IVolume**);
}
