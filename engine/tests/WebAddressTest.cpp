#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "LoadedEngine.h"
#include "ScriptedVolume.h"
#include "TempFolder.h"
#include "engine/WebAddress.h"

using namespace enginetest;

TEST(WebAddress, AnalysisPage)
{
    struct Case {
        engine::ScanFigures figures;
        std::u16string query;
    };
    const Case cases[] = {
        {{19531250, 4096, 9765625, 3.2}, u"?s=74&h=37.25&a=50&l=3.2"},
        {{1000, 4096, 999, 0.0}, u"?s=0&h=0.00&a=99&l=0.0"},
        {{1000, 4096, 1000, 1.5}, u"?s=0&h=0.00&a=100&l=1.5"},
        {{0, 1, 0, 0.0}, u"?s=0&h=0.00&a=0&l=0.0"},
        {{INT64_MAX, 0x80000000u, 0, 0.0}, u"?s=9223372036854775807&h=0.00&a=0&l=0.0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::AnalysisAddress(c.figures), u"https://www.ombrix.example/cgi-bin/analyze.cgi" + c.query);
}

TEST(WebAddress, UpdateCheckInsertsItsValuesAsTheyAre)
{
    EXPECT_EQ(engine::UpdateCheckAddress(u"3, 13, 0, 0", u"vk2&x=1"),
              u"https://www.ombrix.example/cgi-bin/checkupdates.cgi?v=3, 13, 0, 0&src=vk2&x=1");
}

TEST(WebAddress, EngineBuildsTheAnalysisPageFromItsLastScan)
{
    LoadedEngine engine;
    EXPECT_EQ(engine->GetAnalysisUrl(), u"https://www.ombrix.example/cgi-bin/analyze.cgi?s=0&h=0.00&a=0&l=0.0");
    ScriptedVolume volume;
    volume.totalClusters = 262144 * 2; // 2 GB of 4 KiB clusters
    volume.Use(0, 3);
    volume.Use(262143, 1);
    volume.files = {{u"/f", {{0, 1}, {2, 1}}}, {u"/g", {{262143, 1}}}};
    engine->AnalyzeVolume(&volume, nullptr);
    // A = 1 (two equal extents), B = 1.6 (used runs 3 and 1), C = 1: level 1.2.
    EXPECT_EQ(engine->GetAnalysisUrl(), u"https://www.ombrix.example/cgi-bin/analyze.cgi?s=2&h=1.00&a=49&l=1.2");
}

TEST(WebAddress, CheckForUpdatesOpensThePageWithoutWaiting)
{
    TempFolder folder;
    const auto log = folder.Path() / "opened.txt";
    const auto opener = folder.Path() / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << log.string() << "'\n";
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (folder.Path().string() + ":" + oldPath).c_str(), 1);

    LoadedEngine engine;
    engine->CheckForUpdates(u"3, 13, 0, 0", u"vk2");
    for (int i = 0; i < 500 && !std::filesystem::exists(log); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    setenv("PATH", oldPath.c_str(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let the line land whole
    EXPECT_EQ(ReadBytes(log), "https://www.ombrix.example/cgi-bin/checkupdates.cgi?v=3, 13, 0, 0&src=vk2\n");
}
