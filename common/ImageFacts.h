#pragma once
// What the volume table needs to know about an image volume it cannot mount:
// exported by each file-system plug-in under the name "ReadImageFacts", so the
// platform layer learns sizes without linking any file-system library.

#include <cstddef>
#include <cstdint>

extern "C" {

struct VelkImageFacts {
    uint64_t totalBytes;
    uint64_t freeBytes;
    uint32_t serial;
    char16_t label[64]; // null-terminated, cut to fit
};
static_assert(sizeof(VelkImageFacts) == 152 && offsetof(VelkImageFacts, label) == 20);

// 0 and *facts filled, or a Win32 status (1005 when the image does not hold
// this plug-in's file system).
using ReadImageFactsFn = int (*)(const char* imagePath, VelkImageFacts* facts);
}
