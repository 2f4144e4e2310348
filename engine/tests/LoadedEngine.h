#pragma once
// The engine as a front end gets it: vk2eng loaded by name, created and freed
// through its exports.

#include <gtest/gtest.h>

#include "common/IVelkLevelEngine.h"
#include "platform/Library.h"

namespace enginetest {

class LoadedEngine {
public:
    LoadedEngine()
    {
        EXPECT_TRUE(m_library.Load(u"vk2eng")) << m_library.Error();
        create = m_library.Function<CreateVelkLevelEngineFn>("CreateVelkLevelEngine");
        free = m_library.Function<FreeVelkLevelEngineFn>("FreeVelkLevelEngine");
        EXPECT_NE(create, nullptr);
        EXPECT_NE(free, nullptr);
        if (create != nullptr)
            create(&engine);
    }
    ~LoadedEngine()
    {
        if (free != nullptr)
            free(&engine);
    }
    LoadedEngine(const LoadedEngine&) = delete;
    LoadedEngine& operator=(const LoadedEngine&) = delete;

    IVelkLevelEngine* operator->() const { return engine; }

    IVelkLevelEngine* engine = nullptr;
    CreateVelkLevelEngineFn create = nullptr;
    FreeVelkLevelEngineFn free = nullptr;

private:
    platform::Library m_library;
};

} // namespace enginetest
