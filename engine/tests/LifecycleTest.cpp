#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "LoadedEngine.h"
#include "ScriptedVolume.h"
#include "TempFolder.h"

using namespace enginetest;

TEST(Lifecycle, NewEngineHasNoResults)
{
    LoadedEngine engine;
    ASSERT_NE(engine.engine, nullptr);
    EXPECT_EQ(engine->GetClusterSize(), 1);
    EXPECT_EQ(engine->GetFilesScanned(), 0);
    EXPECT_NE(engine->IsInterrupted(), 0);
    EXPECT_EQ(engine->GetHighestClusterPercent(), 0);
    EXPECT_EQ(engine->GetVelkLevel(), 0.0);
    EXPECT_EQ(engine->GetVelkLevel(), 0.0); // the stored 1.0s give the same level again
    EXPECT_EQ(engine->GetSummaryFile(), u"");
    EXPECT_EQ(engine->GetProblemReportFile(), u"");
    const char16_t* text = nullptr;
    EXPECT_EQ(engine->GetOverlapWarning(&text), 0);
    EXPECT_EQ(text, nullptr);
    int64_t duration = -1;
    EXPECT_EQ(engine->GetScanDuration(&duration), &duration);
    EXPECT_EQ(duration, 0);
}

TEST(Lifecycle, CreateAndFreeAreSafeToRepeat)
{
    LoadedEngine loaded;
    loaded.create(nullptr); // nothing happens

    IVelkLevelEngine* engine = nullptr;
    loaded.create(&engine);
    ASSERT_NE(engine, nullptr);
    loaded.free(&engine);
    EXPECT_EQ(engine, nullptr);
    loaded.free(&engine); // the second call destroys nothing
    loaded.free(nullptr);
}

TEST(Lifecycle, WithoutCacheLibrarySetCacheCreatesNothing)
{
    // The program folder holds no bufx: scans run without a cache.
    LoadedEngine engine;
    EXPECT_EQ(engine->SetCache(65536), 0);
    EXPECT_EQ(engine->SetCache(0), 0);
    ScriptedVolume volume;
    volume.totalClusters = 8;
    engine->AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(volume.cacheSeen, nullptr);
}

namespace {
std::string CacheLog(const TempFolder& folder)
{
    return ReadBytes(folder.Path() / "cache.log");
}
} // namespace

// Run by the "engine_tests.cache" test, which puts the recording bufx on the
// library path.
TEST(CacheLibrary, DISABLED_CreatedHandedToThePlugInAndFreed)
{
    TempFolder folder;
    setenv("VELK_CACHE_LOG", (folder.Path() / "cache.log").c_str(), 1);
    {
        LoadedEngine engine;
        EXPECT_EQ(engine->SetCache(65536), 7);
        ScriptedVolume volume;
        volume.totalClusters = 8;
        engine->AnalyzeVolume(&volume, nullptr);
        EXPECT_NE(volume.cacheSeen, nullptr);
        EXPECT_EQ(engine->SetCache(0), 9);
        EXPECT_EQ(engine->SetCache(0), 0); // no cache left to free
        EXPECT_EQ(engine->SetCache(65536), 7);
    } // freeing the engine frees the cache
    EXPECT_EQ(CacheLog(folder), "create 65536\nfree token\ncreate 65536\nfree token\n");
    unsetenv("VELK_CACHE_LOG");
}

// Run by "engine_tests.legacy" under a legacy version word, with bufx on the
// library path: the legacy family never loads it.
TEST(LegacyEngine, DISABLED_SetCacheReturnsOneAndCreatesNothing)
{
    TempFolder folder;
    setenv("VELK_CACHE_LOG", (folder.Path() / "cache.log").c_str(), 1);
    {
        LoadedEngine engine;
        EXPECT_EQ(engine->SetCache(65536), 1);
        EXPECT_EQ(engine->SetCache(0), 1);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "cache.log"));
    unsetenv("VELK_CACHE_LOG");
}
