#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LoadedEngine.h"
#include "RecordingProgress.h"
#include "ScriptedVolume.h"
#include "TempFolder.h"

using namespace enginetest;

namespace {

using Extents = std::vector<std::pair<int64_t, int64_t>>;

double FilesFactor(IVelkLevelEngine* engine)
{
    double files = -1;
    engine->GetFactors(&files, nullptr, nullptr);
    return files;
}

// The warning lines of the summary, which lists every overlap in order.
std::vector<std::string> Warnings(IVelkLevelEngine* engine, ScriptedVolume& volume)
{
    TempFolder folder;
    engine->SetSummaryFile(u"sum.txt", u"");
    engine->AnalyzeVolume(&volume, nullptr);
    const std::string text = ReadBytes(folder.Path() / "sum.txt");
    std::vector<std::string> lines;
    const size_t start = text.find("Warnings:\r\n");
    if (start == std::string::npos)
        return lines;
    for (size_t at = start + 11; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

const std::string kWarning = "Some file seems got overlapped or has been changed in unusual way.";

} // namespace

TEST(FilePass, FileTermPerFile)
{
    struct Case {
        Extents extents;
        double term;
    };
    const std::vector<Case> cases = {
        {{{0, 10}}, 0.0},
        {{{0, 10}, {20, 10}, {40, 10}}, 2.0},
        {{{0, 1}, {5, 3}}, 0.6},
        {{{0, 4}, {9, 0}}, 0.0},           // an empty extent adds nothing
        {{{0, 5}, {10, -3}, {20, 5}}, 1.0}, // nor does a negative length
        {{}, 0.0},
    };
    LoadedEngine engine;
    for (const Case& c : cases) {
        ScriptedVolume volume;
        volume.totalClusters = 100;
        volume.files = {{u"/f", c.extents}};
        engine->AnalyzeVolume(&volume, nullptr);
        EXPECT_DOUBLE_EQ(FilesFactor(engine.engine), c.term) << c.extents.size() << " extents";
    }
}

TEST(FilePass, HugeFilesGetAnExactTerm)
{
    // S = 2^41 would wrap a 64-bit S * S; two equal extents add exactly 1.
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.totalClusters = 16;
    volume.files = {{u"/big", {{int64_t{1} << 42, int64_t{1} << 40}, {int64_t{1} << 44, int64_t{1} << 40}}}};
    engine->AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(FilesFactor(engine.engine), 1.0);
    EXPECT_EQ(engine->GetHighestClusterUsed(), (int64_t{1} << 44) + (int64_t{1} << 40) - 1);
    EXPECT_EQ(engine->GetOverlapWarning(nullptr), 1); // far past the map
}

TEST(FilePass, CountsAndHighestCluster)
{
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.clusterSize = 512;
    volume.totalClusters = 1000;
    volume.clustersInUse = 321;
    volume.files = {{u"/a", {{10, 5}}}, {u"/b", {{300, 0}}}, {u"/c", {}, true}, {u"/d", {{40, 2}}}};
    RecordingProgress progress;
    engine->AnalyzeVolume(&volume, &progress);
    EXPECT_EQ(engine->GetFilesScanned(), 4);
    EXPECT_EQ(engine->GetClustersInUse(), 321);
    EXPECT_EQ(engine->GetClusterSize(), 512);
    EXPECT_EQ(engine->GetTotalClusters(), 1000);
    EXPECT_EQ(engine->GetHighestClusterUsed(), 299); // the empty extent's first cluster - 1
    EXPECT_EQ(engine->GetHighestClusterPercent(), 29);
    EXPECT_EQ(engine->IsInterrupted(), 0);
    // Every record is reported, with or without extents.
    EXPECT_EQ(std::count_if(progress.calls.begin(), progress.calls.end(),
                            [](const std::string& c) { return c.rfind("file ", 0) == 0; }),
              4);
}

TEST(FilePass, OverlapsWarnTheLaterExtent)
{
    struct Case {
        const char* name;
        int64_t totalClusters;
        std::vector<ScriptedFile> files;
        std::vector<std::string> warnings;
    };
    const std::vector<Case> cases = {
        {"shared cluster", 100, {{u"/one", {{0, 5}}}, {u"/two", {{4, 2}}}}, {kWarning + " (/two)"}},
        {"three overlaps in one file",
         100,
         {{u"/one", {{0, 10}}}, {u"/three", {{1, 1}, {2, 1}, {3, 1}}}},
         {kWarning + " (/three)", kWarning + " (/three)", kWarning + " (/three)"}},
        {"within one file", 100, {{u"/self", {{0, 4}, {3, 2}}}}, {kWarning + " (/self)"}},
        // 16 clusters give a map of 3 bytes: 20..23 still fit, 22..25 do not.
        {"inside the spare bits", 16, {{u"/fits", {{20, 4}}}}, {}},
        {"past the map", 16, {{u"/past", {{22, 4}}}}, {kWarning + " (/past)"}},
        {"below cluster 0", 16, {{u"/neg", {{-5, 10}}}, {u"/zero", {{0, 1}}}},
         {kWarning + " (/neg)", kWarning + " (/zero)"}},
        {"far below cluster 0", 16, {{u"/min", {{INT64_MIN, 3}}}}, {kWarning + " (/min)"}},
        {"adjacent is fine", 100, {{u"/a", {{0, 8}}}, {u"/b", {{8, 8}, {16, 1}}}}, {}},
    };
    for (const Case& c : cases) {
        LoadedEngine engine;
        ScriptedVolume volume;
        volume.totalClusters = c.totalClusters;
        volume.files = c.files;
        EXPECT_EQ(Warnings(engine.engine, volume), c.warnings) << c.name;
        const char16_t* text = nullptr;
        EXPECT_EQ(engine->GetOverlapWarning(&text), c.warnings.empty() ? 0 : 1) << c.name;
        if (!c.warnings.empty()) {
            EXPECT_EQ(std::u16string(text), u"Some file seems got overlapped or has been changed in unusual way. "
                                            u"Run scandisk/checkdisk to solve the problem.");
        }
    }
}

TEST(FilePass, ASmallerVolumeReusesTheLargerMap)
{
    LoadedEngine engine;
    ScriptedVolume large;
    large.totalClusters = 1000;
    large.files = {{u"/old", {{900, 10}}}};
    engine->AnalyzeVolume(&large, nullptr);
    EXPECT_EQ(engine->GetOverlapWarning(nullptr), 0);

    // Bytes past the small volume's map keep the first scan's marks.
    ScriptedVolume small;
    small.totalClusters = 16;
    small.files = {{u"/new", {{905, 1}}}};
    engine->AnalyzeVolume(&small, nullptr);
    EXPECT_EQ(engine->GetOverlapWarning(nullptr), 1);

    // The small map itself was cleared.
    ScriptedVolume again;
    again.totalClusters = 16;
    again.files = {{u"/a", {{0, 16}}}};
    engine->AnalyzeVolume(&again, nullptr);
    EXPECT_EQ(engine->GetOverlapWarning(nullptr), 0);
}

TEST(FilePass, WarningsAccumulateUntilSetSummaryFile)
{
    LoadedEngine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100;
    volume.files = {{u"/x", {{0, 2}, {1, 1}}}};
    TempFolder folder;
    auto warningLines = [&] {
        const std::string text = ReadBytes(folder.Path() / "sum.txt");
        size_t count = 0;
        for (size_t at = text.find(kWarning); at != std::string::npos; at = text.find(kWarning, at + 1))
            ++count;
        return count;
    };
    engine->SetSummaryFile(u"sum.txt", u"");
    engine->AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(warningLines(), 1u);
    engine->AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(warningLines(), 2u);
    engine->SetSummaryFile(u"sum.txt", u"");
    engine->AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(warningLines(), 1u);
}
