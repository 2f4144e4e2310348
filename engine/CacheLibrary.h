#pragma once
#include "platform/Library.h"

namespace engine {

// The optional cache library "bufx". When it or an entry point is missing the
// engine works without a cache.
class CacheLibrary {
public:
    void Load();
    void Unload() noexcept;

    bool HasCreate() const noexcept { return m_create != nullptr; }
    bool HasFree() const noexcept { return m_free != nullptr; }
    int Create(void** cache, int size) const { return m_create(cache, size); }
    int Free(void** cache) const { return m_free(cache); }

private:
    using CreateFn = int (*)(void**, int);
    using FreeFn = int (*)(void**);

    platform::Library m_library;
    CreateFn m_create = nullptr;
    FreeFn m_free = nullptr;
};

} // namespace engine
