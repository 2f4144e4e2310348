#include "CacheLibrary.h"

namespace engine {

void CacheLibrary::Load()
{
    if (!m_library.Load(u"bufx"))
        return;
    m_create = m_library.Function<CreateFn>("CreateCache1");
    m_free = m_library.Function<FreeFn>("FreeCache1");
}

void CacheLibrary::Unload() noexcept
{
    m_create = nullptr;
    m_free = nullptr;
    m_library.Unload();
}

} // namespace engine
