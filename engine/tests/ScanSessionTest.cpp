#include <gtest/gtest.h>

#include "LoadedEngine.h"
#include "RecordingProgress.h"
#include "ScriptedVolume.h"
#include "TempFolder.h"

using namespace enginetest;
using Calls = std::vector<std::string>;

namespace {

ScriptedVolume TwoFiles()
{
    ScriptedVolume volume;
    volume.totalClusters = 100;
    volume.Use(0, 6);
    volume.files = {{u"/a", {{0, 3}}}, {u"/b", {{3, 3}}}};
    return volume;
}

} // namespace

TEST(ScanSession, ProgressCallsOfACompleteScan)
{
    LoadedEngine engine;
    ScriptedVolume volume = TwoFiles();
    RecordingProgress progress;
    engine->AnalyzeVolume(&volume, &progress);
    EXPECT_EQ(progress.calls, (Calls{"start", "file 50 0", "file 100 0", "files-done", "level 0", "end"}));
    EXPECT_EQ(engine->IsInterrupted(), 0);
}

TEST(ScanSession, AVolumeWithoutFilesStillReadsClusterZero)
{
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100;
    RecordingProgress progress;
    engine->AnalyzeVolume(&volume, &progress);
    EXPECT_EQ(progress.calls, (Calls{"start", "files-done", "level 0", "end"}));
    EXPECT_EQ(volume.bitmapReads, (std::vector<std::pair<int64_t, uint32_t>>{{0, 1}}));
}

TEST(ScanSession, StoppingAndWhatIsLeft)
{
    struct Case {
        const char* name;
        int fileAnswer, levelAnswer;
        Calls calls;
        int64_t filesScanned;
    };
    const std::vector<Case> cases = {
        {"stopped in the walk and the pass", 0, 0, {"start", "file 50 0", "files-done", "level 0", "end"}, 1},
        {"stopped in the pass only", 1, 0, {"start", "file 50 0", "file 100 0", "files-done", "level 0", "end"}, 2},
        // The walk stopped, the pass ran: still not a finished computation.
        {"stopped in the walk only", 0, 1, {"start", "file 50 0", "files-done", "level 0", "end"}, 1},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        LoadedEngine engine;
        ScriptedVolume volume = TwoFiles();
        RecordingProgress progress;
        progress.fileAnswer = [&](int) { return c.fileAnswer; };
        progress.levelAnswer = [&](int) { return c.levelAnswer; };
        engine->SetSummaryFile(u"summary.txt", u"header\n");
        engine->AnalyzeVolume(&volume, &progress);
        EXPECT_EQ(progress.calls, c.calls) << c.name;
        EXPECT_EQ(engine->IsInterrupted(), 1) << c.name;
        EXPECT_EQ(engine->GetFilesScanned(), c.filesScanned) << c.name;
        EXPECT_EQ(engine->GetSummaryFile(), u"") << c.name;
        EXPECT_TRUE(folder.Files().empty()) << c.name;
    }
}

TEST(ScanSession, APlugInThatNeverBeginsLeavesNoOldResults)
{
    LoadedEngine engine;
    ScriptedVolume first = TwoFiles();
    first.files.push_back({u"/split", {{10, 1}, {20, 1}}});
    first.Use(10, 1);
    first.Use(20, 1);
    engine->AnalyzeVolume(&first, nullptr);
    ASSERT_GT(engine->GetVelkLevel(), 0.0);

    ScriptedVolume broken = TwoFiles();
    broken.skipBegin = true;
    broken.skipEnd = true;
    RecordingProgress progress;
    engine->AnalyzeVolume(&broken, &progress);
    // Its files are not taken, no bitmap is read, the scan ends as stopped.
    EXPECT_EQ(progress.calls, (Calls{"file 50 0", "file 100 0", "end"}));
    EXPECT_TRUE(broken.bitmapReads.empty());
    EXPECT_EQ(engine->IsInterrupted(), 1);
    EXPECT_EQ(engine->GetFilesScanned(), 0);
    EXPECT_EQ(engine->GetHighestClusterUsed(), 0);
    double factors[3] = {-1, -1, -1};
    engine->GetFactors(&factors[0], &factors[1], &factors[2]);
    EXPECT_EQ(factors[0] + factors[1] + factors[2], 0.0);
    EXPECT_EQ(engine->GetVelkLevel(), 0.0);

    engine->AnalyzeVolume(nullptr, &progress); // no volume at all: the same
    EXPECT_EQ(engine->IsInterrupted(), 1);
}

TEST(ScanSession, APlugInThatNeverEndsIsEndedForIt)
{
    TempFolder folder;
    LoadedEngine engine;
    ScriptedVolume volume = TwoFiles();
    volume.skipEnd = true;
    RecordingProgress progress;
    engine->SetDiagnosticOutput(0, u"dump.txt");
    engine->AnalyzeVolume(&volume, &progress);
    EXPECT_EQ(progress.calls, (Calls{"start", "file 50 0", "file 100 0", "files-done", "level 0", "end"}));
    EXPECT_EQ(engine->GetFilesScanned(), 2);
    EXPECT_EQ(engine->IsInterrupted(), 1);
    EXPECT_EQ(ReadBytes(folder.Path() / "dump.txt"),
              "set: 4096 100 0\r\nfile: .no-ext\r\n0 3\r\nfile: .no-ext\r\n3 3\r\n");
}
