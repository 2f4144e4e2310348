// Summary, extent dump and problem report, compared byte for byte. These link
// the engine directly so the clock can be fixed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "RecordingProgress.h"
#include "ScriptedVolume.h"
#include "TempFolder.h"
#include "engine/Engine.h"
#include "engine/ExtentDumpWriter.h"
#include "engine/ProblemReportWriter.h"
#include "engine/SummaryWriter.h"
#include "platform/Clock.h"

using namespace enginetest;

namespace {

int64_t g_now = 0;
int64_t FakeNow()
{
    return g_now;
}

// 2007-03-15 09:30:05 UTC
constexpr int64_t kMarch15 = 1173951005;

class Reports : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        g_now = kMarch15;
        platform::SetClockForTesting(&FakeNow);
    }
    void TearDown() override { platform::SetClockForTesting(nullptr); }

    TempFolder m_folder;
};

// Each ReadBitmap or AddFile moves the fake clock on, so a scan has a duration.
class SlowVolume : public ScriptedVolume {
public:
    int64_t secondsPerFile = 0;
    int EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache) override
    {
        struct Ticking final : IFileExtentSink {
            IFileExtentSink* inner;
            int64_t step;
            int AddFile(int p, int a, int b, int c, FileRecord* r) override
            {
                g_now += step;
                return inner->AddFile(p, a, b, c, r);
            }
            int EndFiles(int64_t n, int i) override { return inner->EndFiles(n, i); }
            void BeginVolume(uint32_t a, uint32_t s, uint32_t b, int64_t t, int64_t u) override
            {
                inner->BeginVolume(a, s, b, t, u);
            }
        } ticking;
        ticking.inner = sink;
        ticking.step = secondsPerFile;
        return ScriptedVolume::EnumerateFiles(&ticking, log, cache);
    }
};

} // namespace

TEST_F(Reports, SummaryOfAFinishedScan)
{
    engine::Engine engine;
    SlowVolume volume;
    volume.clusterSize = 4096;
    volume.totalClusters = 20000000;
    volume.clustersInUse = 9000000;
    volume.secondsPerFile = 156;
    volume.Use(0, 3);
    volume.Use(19000000, 1);
    volume.files = {{u"/a", {{0, 3}}}, {u"/b", {{1, 1}}}, {u"/c", {{19000000, 1}}}};
    engine.SetSummaryFile(u"ombrix.sum.C-20070315093005.txt", u"Volume: C:\\\nType: NTFS\n");
    engine.AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(engine.GetSummaryFile(), u"ombrix.sum.C-20070315093005.txt");
    EXPECT_EQ(ReadBytes("ombrix.sum.C-20070315093005.txt"),
              "Volume: C:\\\r\nType: NTFS\r\n"
              "Velk level: 1.2\r\n"
              "Files scanned: 3\r\n"
              "Volume usage: 9000000 clusters/34.33 GB\r\n"
              "Highest cluster used at: 19000000/72.48 GB\r\n"
              "Scan duration: 0d, 00:07:48\r\n"
              "Warnings:\r\n"
              "Some file seems got overlapped or has been changed in unusual way. (/b)\r\n"
              "Run scandisk/checkdisk to solve the problem.");
}

TEST_F(Reports, SummaryEndsWithTheDurationWithoutWarnings)
{
    engine::Engine engine;
    ScriptedVolume volume;
    volume.totalClusters = 10;
    volume.files = {{u"/a", {{0, 3}}}};
    std::ofstream("s.txt") << "an older, longer summary that must go";
    engine.SetSummaryFile(u"s.txt", u"");
    engine.AnalyzeVolume(&volume, nullptr);
    const std::string text = ReadBytes("s.txt");
    EXPECT_EQ(text.substr(0, 16), "Velk level: 0.0\r");
    EXPECT_EQ(text.substr(text.size() - 29), "Scan duration: 0d, 00:00:00\r\n");
}

TEST_F(Reports, SummaryFailures)
{
    struct Case {
        const char* name;
        std::u16string path, header;
        std::u16string result;
    };
    const std::vector<Case> cases = {
        {"no path", u"", u"", u""},
        {"missing folder", u"no/such/folder/s.txt", u"", u"Error saving summary"},
        {"label beyond one byte", u"s.txt", u"Volume name: \u0141odz\n", u"Error saving summary"},
    };
    for (const Case& c : cases) {
        engine::Engine engine;
        ScriptedVolume volume;
        volume.totalClusters = 10;
        engine.SetSummaryFile(c.path.c_str(), c.header.c_str());
        engine.AnalyzeVolume(&volume, nullptr);
        EXPECT_EQ(engine.GetSummaryFile(), c.result) << c.name;
    }
}

TEST_F(Reports, DurationText)
{
    const std::pair<int64_t, std::u16string> cases[] = {
        {0, u"0d, 00:00:00"},      {59, u"0d, 00:00:59"},         {3725, u"0d, 01:02:05"},
        {86400, u"1d, 00:00:00"},  {90061, u"1d, 01:01:01"},      {864000 + 86399, u"10d, 23:59:59"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(engine::DurationText(seconds), text) << seconds;
}

TEST_F(Reports, ExtentDumpOfAScan)
{
    engine::Engine engine;
    ScriptedVolume volume;
    volume.clusterSize = 4096;
    volume.totalClusters = 100000;
    volume.clustersInUse = 13;
    volume.files = {
        {u"/Documents/report.final.doc", {{12345, 3}, {40500, 10}}},
        {u"/empty.txt", {}},
        {u"/nolist.bin", {}, true},
        {u"/neg", {{-45, 1}}},
    };
    engine.SetDiagnosticOutput(0, u"Vlm-C-System-1A2B3C4D-20070315093005.txt");
    engine.AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(ReadBytes("Vlm-C-System-1A2B3C4D-20070315093005.txt"),
              "set: 4096 100000 13\r\n"
              "file: .doc\r\n12354 3\r\n50400 10\r\n"
              "file: .txt\r\n"
              "file: .no-ext\r\n-54 1\r\n");
}

TEST_F(Reports, ExtentDumpOfAStoppedScanEndsAfterTheLastFile)
{
    engine::Engine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100;
    volume.files = {{u"/a.c", {{1, 1}}}, {u"/b.c", {{2, 1}}}, {u"/c.c", {{3, 1}}}};
    RecordingProgress progress;
    progress.fileAnswer = [](int percent) { return percent < 60 ? 1 : 0; };
    engine.SetDiagnosticOutput(0, u"d.txt");
    engine.AnalyzeVolume(&volume, &progress);
    EXPECT_EQ(ReadBytes("d.txt"), "set: 4096 100 0\r\nfile: .c\r\n1 1\r\nfile: .c\r\n2 1\r\n");
}

TEST_F(Reports, DumpExtensionAndDigits)
{
    const std::pair<std::u16string, std::u16string> names[] = {
        {u"readme", u".no-ext"},
        {u"ends.", u"."},
        {u"\u00e9\u00e8\u4e2d", u".no-ext"},
        {u"r\u00e9sum\u00e9.pdf", u".pdf"},
        {u"my file.a b", u".no-ext"},
        {u"C:\\data.d\\readme", u".no-ext"},
        {u"/data.d/readme", u".no-ext"},
        {u"archive.tar.gz", u".gz"},
        {u".profile", u".profile"},
        {u"  spaced name.txt  ", u".txt"},
        {u"trail.txt \u00e9", u".txt"},
        {u"", u".no-ext"},
    };
    for (const auto& [name, extension] : names)
        EXPECT_EQ(engine::DumpExtension(name), extension);
    const std::pair<int64_t, std::u16string> numbers[] = {
        {0, u"0"}, {45, u"54"}, {4545, u"5454"}, {12345, u"12354"}, {40500, u"50400"}, {-45, u"-54"},
        {INT64_MIN, u"-9223372036845774808"},
    };
    for (const auto& [number, text] : numbers)
        EXPECT_EQ(engine::ExchangedDigits(number), text) << number;
}

TEST_F(Reports, ADumpThatCannotBeWrittenLeavesTheScanAlone)
{
    engine::Engine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100;
    volume.Use(0, 2);
    volume.files = {{u"/a", {{0, 1}}}, {u"/b", {{1, 1}}}};
    for (const char16_t* path : {u"no/such/folder/d.txt", u"/dev/full"}) {
        engine.SetDiagnosticOutput(0, path);
        engine.AnalyzeVolume(&volume, nullptr);
        EXPECT_EQ(engine.IsInterrupted(), 0);
        EXPECT_EQ(engine.GetFilesScanned(), 2);
    }
}

TEST_F(Reports, ProblemReportHoldsTheFirstOverlapOnly)
{
    engine::Engine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100;
    volume.files = {{u"/one", {{0, 10}}}, {u"/x", {{1, 1}, {2, 1}, {3, 1}}}};
    engine.SetDiagnosticOutput(1, u"");
    engine.AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(engine.GetProblemReportFile(), u"ombrix.err.20070315093005.xml");
    // "Some file seems got overlapped or has been changed in unusual way. (/x)",
    // 72 characters: 144 bytes, four lines of 32 and one of 16.
    const std::u16string warning = u"Some file seems got overlapped or has been changed in unusual way. (/x)";
    std::string hex;
    for (size_t i = 0; i < warning.size(); ++i) {
        if (i != 0 && i % 16 == 0)
            hex += "\r\n    ";
        char pair[16];
        std::snprintf(pair, sizeof pair, "%02x00", static_cast<unsigned>(warning[i] & 0xFF));
        hex += pair;
    }
    EXPECT_EQ(ReadBytes("ombrix.err.20070315093005.xml"),
              "<problem>\r\n  <description>overlap lcn=1 count=1</description>\r\n  <context>\r\n    " + hex +
                  "\r\n  </context>\r\n</problem>\r\n");
    EXPECT_EQ(hex.substr(0, 36), "53006f006d0065002000660069006c006500");
}

TEST_F(Reports, ProblemReportOfAPlugInMessage)
{
    engine::Engine engine;
    ScriptedVolume volume;
    volume.totalClusters = 100;
    volume.files = {{u"/a", {{0, 1}}}};
    volume.messages = {{0, {}, u"bad <record> 100% & \u0141"}, {0, {1, 2}, u"second"}};
    engine.SetDiagnosticOutput(1, u"");
    engine.AnalyzeVolume(&volume, nullptr);
    EXPECT_EQ(ReadBytes("ombrix.err.20070315093005.xml"),
              "<problem>\r\n  <description>bad <record> 100% & ?</description>\r\n  <context>\r\n    "
              "\r\n  </context>\r\n</problem>\r\n");
}

TEST_F(Reports, ProblemReportContextLines)
{
    const std::pair<size_t, std::string> cases[] = {
        {32, std::string(64, 'a')},
        {34, std::string(64, 'a') + "\r\n    aaaa"},
    };
    for (const auto& [size, context] : cases) {
        TempFolder folder;
        engine::ProblemReportWriter writer;
        const std::vector<uint8_t> data(size, 0xAA);
        writer.Report(data.data(), static_cast<uint32_t>(size), u"d");
        writer.Report(data.data(), 1, u"ignored");
        EXPECT_EQ(ReadBytes(std::string("ombrix.err.20070315093005.xml")),
                  "<problem>\r\n  <description>d</description>\r\n  <context>\r\n    " + context +
                      "\r\n  </context>\r\n</problem>\r\n");
    }
}

TEST_F(Reports, NoProblemReportWhenSwitchedOffOrNothingHappened)
{
    for (int reports : {0, 1}) {
        engine::Engine engine;
        ScriptedVolume volume;
        volume.totalClusters = 100;
        volume.files = {{u"/one", {{0, 10}}}, {u"/two", {{5, 10}}}};
        if (reports == 1)
            volume.files.pop_back();
        volume.messages = {{5, {}, u"never sent"}};
        engine.SetDiagnosticOutput(reports == 0 ? 0 : 1, u"");
        engine.AnalyzeVolume(&volume, nullptr);
        EXPECT_EQ(engine.GetProblemReportFile(), u"");
        EXPECT_TRUE(m_folder.Files().empty());
    }
}
