#include <gtest/gtest.h>

#include "LoadedEngine.h"
#include "RecordingProgress.h"
#include "ScriptedVolume.h"

using namespace enginetest;

namespace {

struct Factors {
    double files, usedRuns, freeRuns;
};

Factors Scan(IVelkLevelEngine* engine, ScriptedVolume& volume, IVelkProgress* progress = nullptr)
{
    engine->AnalyzeVolume(&volume, progress);
    Factors f{};
    engine->GetFactors(&f.files, &f.usedRuns, &f.freeRuns);
    return f;
}

std::vector<std::string> LevelCalls(const RecordingProgress& progress)
{
    std::vector<std::string> calls;
    for (const std::string& c : progress.calls)
        if (c.rfind("level", 0) == 0)
            calls.push_back(c);
    return calls;
}

} // namespace

TEST(BitmapPass, RunFactors)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int64_t, int64_t>> used; // bitmap runs
        std::vector<std::pair<int64_t, int64_t>> file; // extents of one file
        double usedRuns, freeRuns;
    };
    const std::vector<Case> cases = {
        {"one used run", {{0, 10}}, {{0, 10}}, 1.0, 0.0},
        {"used 4, free 2, used 4", {{0, 4}, {6, 4}}, {{0, 4}, {6, 4}}, 2.0, 1.0},
        {"free gaps of 1 and 3", {{0, 2}, {3, 2}, {8, 2}}, {{9, 1}}, 3.0, 1.6},
        {"used only at the end", {{9, 1}}, {{9, 1}}, 1.0, 1.0},
    };
    for (const Case& c : cases) {
        LoadedEngine engine;
        ScriptedVolume volume;
        volume.totalClusters = 100;
        for (auto [first, length] : c.used)
            volume.Use(first, length);
        volume.files = {{u"/f", c.file}};
        const Factors f = Scan(engine.engine, volume);
        EXPECT_DOUBLE_EQ(f.usedRuns, c.usedRuns) << c.name;
        EXPECT_DOUBLE_EQ(f.freeRuns, c.freeRuns) << c.name;
    }
}

TEST(BitmapPass, LevelOfTwoEqualUsedRuns)
{
    // used 4, free 2, used 4 in two single-extent files: A = 0, B = 2, C = 1.
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100;
    volume.Use(0, 4);
    volume.Use(6, 4);
    volume.files = {{u"/a", {{0, 4}}}, {u"/b", {{6, 4}}}};
    const Factors f = Scan(engine.engine, volume);
    EXPECT_EQ(f.files, 0.0);
    EXPECT_DOUBLE_EQ(f.usedRuns, 2.0);
    EXPECT_DOUBLE_EQ(f.freeRuns, 1.0);
    EXPECT_DOUBLE_EQ(engine->GetVelkLevel(), 1.3);
}

TEST(BitmapPass, ChunksOf65536UpToTheHighestClusterUsed)
{
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100000;
    volume.Use(0, 70001);
    volume.files = {{u"/f", {{0, 70001}}}};
    RecordingProgress progress;
    const Factors f = Scan(engine.engine, volume, &progress);
    EXPECT_EQ(LevelCalls(progress), (std::vector<std::string>{"level 0", "level 93"}));
    EXPECT_EQ(volume.bitmapReads, (std::vector<std::pair<int64_t, uint32_t>>{{0, 65536}, {65536, 4465}}));
    EXPECT_DOUBLE_EQ(f.usedRuns, 1.0); // one run across the chunk border
    EXPECT_EQ(engine->IsInterrupted(), 0);
}

TEST(BitmapPass, ChunksTheVolumeCannotDeliverComeFromTheMap)
{
    struct Case {
        const char* name;
        int64_t totalClusters;
        std::vector<std::pair<int64_t, int64_t>> file;
        double usedRuns, freeRuns;
    };
    const std::vector<Case> cases = {
        // End 10: one whole map byte is copied, clusters 8 and 9 count as free.
        {"partial last byte", 100, {{0, 10}}, 1.0, 1.0},
        // The map's spare bits hold 20..23; nothing below them is used.
        {"past the volume, inside the map", 16, {{20, 4}}, 1.0, 1.0},
        {"map with gaps", 100, {{0, 8}, {16, 16}}, 576.0 / 320, 1.0},
    };
    for (const Case& c : cases) {
        LoadedEngine engine;
        ScriptedVolume volume; // no bitmap at all
        volume.totalClusters = c.totalClusters;
        volume.files = {{u"/f", c.file}};
        const Factors f = Scan(engine.engine, volume);
        EXPECT_DOUBLE_EQ(f.usedRuns, c.usedRuns) << c.name;
        EXPECT_DOUBLE_EQ(f.freeRuns, c.freeRuns) << c.name;
    }
}

TEST(BitmapPass, TheChoiceIsMadePerChunk)
{
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.totalClusters = 200000;
    volume.Use(0, 131072); // the bitmap says everything is used...
    volume.missingChunks = {65536};
    volume.files = {{u"/f", {{0, 10}, {131071, 1}}}}; // ...the map only these
    const Factors f = Scan(engine.engine, volume);
    // used 65536 | free 65535 from the map | used 1
    const double used = 65537.0;
    EXPECT_DOUBLE_EQ(f.usedRuns, used * (used / (65536.0 * 65536.0 + 1.0)));
    EXPECT_DOUBLE_EQ(f.freeRuns, 1.0);
}

TEST(BitmapPass, StopAtTheFirstChunk)
{
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100;
    volume.Use(0, 10);
    volume.files = {{u"/f", {{0, 10}}}};
    RecordingProgress progress;
    progress.levelAnswer = [](int) { return 0; };
    const Factors f = Scan(engine.engine, volume, &progress);
    EXPECT_TRUE(volume.bitmapReads.empty());
    EXPECT_EQ(f.usedRuns, 0.0);
    EXPECT_EQ(f.freeRuns, 0.0);
    EXPECT_EQ(engine->IsInterrupted(), 1);
}

TEST(BitmapPass, AWildExtentDoesNotStretchThePass)
{
    // An extent near the end of the cluster range: the pass covers the volume,
    // not 2^62 clusters of nothing.
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.totalClusters = 1000;
    volume.Use(0, 10);
    volume.files = {{u"/f", {{0, 10}}}, {u"/wild", {{int64_t{1} << 62, 5}}}};
    RecordingProgress progress;
    Scan(engine.engine, volume, &progress);
    EXPECT_EQ(LevelCalls(progress), (std::vector<std::string>{"level 0"}));
    EXPECT_EQ(volume.bitmapReads, (std::vector<std::pair<int64_t, uint32_t>>{{0, 1008}}));
    EXPECT_EQ(engine->GetHighestClusterUsed(), (int64_t{1} << 62) + 4);
}
