// The two exports of vk2eng.

#include <new>

#include "Engine.h"

#define VELK_EXPORT extern "C" __attribute__((visibility("default")))

VELK_EXPORT void CreateVelkLevelEngine(IVelkLevelEngine** out)
{
    if (out == nullptr)
        return;
    *out = nullptr;
    try {
        *out = new engine::Engine();
    } catch (...) {
    }
}

VELK_EXPORT void FreeVelkLevelEngine(IVelkLevelEngine** engine)
{
    if (engine == nullptr || *engine == nullptr)
        return;
    try {
        auto* whole = static_cast<engine::Engine*>(*engine);
        whole->ReleaseCache();
        IFileExtentSink* first = whole; // the destructor is reached through the first base
        delete first;
    } catch (...) {
    }
    *engine = nullptr;
}
