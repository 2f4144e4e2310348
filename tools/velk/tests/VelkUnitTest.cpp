#include <gtest/gtest.h>

#include "Options.h"
#include "Progress.h"
#include "Results.h"
#include "TopFiles.h"

namespace {

using namespace velk;

TEST(VelkOptions, Parses)
{
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions({"scan", "c", "D:", "--json", "--summary", "--dump", "--report", "-C", "/tmp", "--plugins",
                              "/p", "--image", "/a.img"},
                             &o, &error));
    EXPECT_EQ(o.command, Command::Scan);
    EXPECT_EQ(o.letters, (std::vector<char>{'C', 'D'}));
    EXPECT_TRUE(o.json && o.summary && o.dump && o.report);
    EXPECT_EQ(o.directory, "/tmp");
    EXPECT_EQ(o.pluginFolder, "/p");
    EXPECT_EQ(o.images, std::vector<std::string>{"/a.img"});
    ASSERT_TRUE(ParseOptions({"list", "--all"}, &o, &error));
    EXPECT_TRUE(o.all);
    ASSERT_TRUE(ParseOptions({"--version"}, &o, &error));
    EXPECT_EQ(o.command, Command::Version);
    ASSERT_TRUE(ParseOptions({"scan", "--help"}, &o, &error));
    EXPECT_EQ(o.command, Command::Help);

    const std::vector<std::vector<std::string>> bad = {
        {}, {"frob"}, {"scan", "A"}, {"scan", "CD"}, {"scan", "1"}, {"scan", "-C"}, {"scan", "--image"},
        {"scan", "C", "--all"}, {"list", "C"}, {"list", "--summary"}, {"scan", "--plugins", ""},
    };
    for (const auto& args : bad)
        EXPECT_FALSE(ParseOptions(args, &o, &error)) << (args.empty() ? "" : args[0] + " " + (args.size() > 1 ? args[1] : ""));
}

struct FileBuilder {
    FileRecord record{};
    ExtentListBuffer extents;
    FileRecord* Make(const char16_t* path, std::initializer_list<int64_t> lengths)
    {
        std::u16string p(path);
        std::copy(p.begin(), p.end(), record.path);
        record.path[p.size()] = 0;
        extents.clear();
        int64_t first = 0;
        for (int64_t length : lengths) {
            extents.append(first, length);
            first += length + 1;
        }
        record.extents = extents.list();
        return &record;
    }
};

TEST(VelkTopFiles, KeepsTheLargestContributions)
{
    TopFileList top(3);
    FileBuilder b;
    top.Offer(b.Make(u"/one", {5}));        // 0
    top.Offer(b.Make(u"/three", {10, 10, 10})); // 2
    top.Offer(b.Make(u"/mixed", {1, 3}));  // 0.6
    top.Offer(b.Make(u"/tie", {10, 10, 10})); // 2, after /three
    top.Offer(b.Make(u"/zero", {0, 0}));   // no clusters: not a candidate
    top.Offer(nullptr);
    FileRecord nullList{};
    top.Offer(&nullList);
    top.Offer(b.Make(u"/small", {4}));      // 0 does not beat 0.6
    ASSERT_EQ(top.Files().size(), 3u);
    EXPECT_EQ(top.Files()[0].path, u"/three");
    EXPECT_EQ(top.Files()[1].path, u"/tie");
    EXPECT_EQ(top.Files()[2].path, u"/mixed");
    EXPECT_DOUBLE_EQ(top.Files()[0].contribution, 2.0);
    EXPECT_EQ(top.Files()[0].extents, 3u);
    EXPECT_NEAR(top.Files()[2].contribution, 0.6, 1e-12);
}

TEST(VelkResults, Formats)
{
    EXPECT_EQ(FormatDuration(0), "0d, 00:00:00");
    EXPECT_EQ(FormatDuration(187), "0d, 00:03:07");
    EXPECT_EQ(FormatDuration(90061), "1d, 01:01:01");
    EXPECT_EQ(FormatDuration(100 * 86400), "100d, 00:00:00");
    EXPECT_EQ(JsonString(u"a\"b\\c\n\u0001\u00e9"), "\"a\\\"b\\\\c\\n\\u0001\xc3\xa9\"");
    EXPECT_EQ(JsonNumber(2.6), "2.6");
    EXPECT_EQ(JsonNumber(1.0 / 0.0), "null");
}

TEST(VelkProgress, StopAnswersZero)
{
    TerminalProgress progress(nullptr);
    progress.OnScanStart();
    EXPECT_EQ(progress.OnFileProgress(10, 0), 1);
    EXPECT_EQ(progress.OnFileProgress(10, 1), 0);
    EXPECT_EQ(progress.OnLevelProgress(0), 1);
    RequestStop();
    EXPECT_EQ(progress.OnFileProgress(20, 0), 0);
    EXPECT_EQ(progress.OnLevelProgress(20), 0);
    EXPECT_NE(progress.OnFilesDone(), 0);
}

} // namespace
