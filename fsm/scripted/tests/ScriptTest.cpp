#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Script.h"
#include "ScriptedVolume.h"
#include "platform/Status.h"

namespace {

using scripted::ParseScript;

TEST(Script, RejectsWhatItCannotRead)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "line 0: empty"},
        {"VelkScript 2\n", "line 1: not a script volume"},
        {"VelkScript 1\nfile\t/a\t1+x\n", "line 2: bad extent list"},
        {"VelkScript 1\nfile\t/a\t1\n", "line 2: bad extent list"},
        {"VelkScript 1\n\nclusters\t0\t10\t1\n", "line 3: bad cluster counts"},
        {"VelkScript 1\nserial\t1FFFFFFFF\n", "line 2: bad serial"},
        {"VelkScript 1\nused\t-1\t4\n", "line 2: bad used run"},
        {"VelkScript 1\nfrobnicate\n", "line 2: unknown directive"},
        {"VelkScript 1\nfile\n", "line 2: unknown directive"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseScript(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(Script, ReadsFilesLogsAndBitmap)
{
    std::string error;
    auto s = ParseScript("VelkScript 1\r\n# comment\nlabel\tDemo\nserial\t1a2b3c4d\nclusters\t512\t100\t7\n"
                         "file\t/one\t0+2 10+-1 -5+3\nlog\tsaw\\none\nfile\t/empty\nfile\t/null\t-\n"
                         "unavailable\t65536\n",
                         &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->label, u"Demo");
    EXPECT_EQ(s->serial, 0x1A2B3C4Du);
    EXPECT_EQ(s->clusterSize, 512u);
    EXPECT_EQ(s->totalClusters, 100);
    EXPECT_EQ(s->clustersInUse, 7);
    ASSERT_EQ(s->files.size(), 3u);
    ASSERT_EQ(s->files[0].extents.size(), 3u);
    EXPECT_EQ(s->files[0].extents[1].length, -1);
    EXPECT_EQ(s->files[0].extents[2].first, -5);
    EXPECT_TRUE(s->files[1].extents.empty());
    EXPECT_FALSE(s->files[1].nullList);
    EXPECT_TRUE(s->files[2].nullList);
    ASSERT_EQ(s->steps.size(), 4u);
    EXPECT_TRUE(s->steps[1].isLog);
    EXPECT_EQ(s->steps[1].text, u"saw\none");
    EXPECT_TRUE(s->bitmapFromFiles);
    EXPECT_EQ(s->unavailable, std::vector<int64_t>{65536});
}

// Records what the plug-in hands over, and stops where told.
class RecordingSink : public IFileExtentSink, public IVolumeLog {
public:
    int AddFile(int percent, int, int, int, FileRecord* record) override
    {
        std::u16string line = record->path;
        line += u" " + std::u16string(1, static_cast<char16_t>(u'0' + percent / 10));
        if (record->extents)
            for (uint32_t i = 0; i < record->extents->count; ++i)
                line += u" " + std::u16string(1, static_cast<char16_t>(u'0' + record->extents->extents()[i].length));
        else
            line += u" null";
        events.push_back(line);
        return --filesBeforeStop != 0;
    }
    int EndFiles(int64_t files, int interrupted) override
    {
        events.push_back(u"end " + std::u16string(1, static_cast<char16_t>(u'0' + files)) + (interrupted ? u" stopped" : u""));
        return 1;
    }
    void BeginVolume(uint32_t, uint32_t clusterSize, uint32_t, int64_t total, int64_t inUse) override
    {
        events.push_back(clusterSize == 4096 && total == 40 && inUse == 9 ? u"begin" : u"begin?");
    }
    void Report(const void* data, uint32_t size, const char16_t* format, ...) override
    {
        events.push_back(u"log " + std::u16string(static_cast<const char16_t*>(data), size / 2) + u" " + format);
    }

    std::vector<std::u16string> events;
    int filesBeforeStop = -1;
};

class ScriptedVolumeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velk-scripted-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        ::setenv("VELKLEVEL2_CONFIG_DIR", (m_dir + "/config").c_str(), 1);
        Write("script.txt", "VelkScript 1\nclusters\t4096\t40\t9\nfile\t/a\t0+2 4+1\nlog\tmid\n"
                            "file\t/b\t-\nfile\t/c\t70000+2\nused\t0\t3\nused\t38\t5\nunavailable\t65536\n");
        Write("failing.txt", "VelkScript 1\nopen-status\t21\n");
        Write("damaged.txt", "VelkScript 1\nnonsense\n");
        Write("other.img", std::string(512, 'x'));
        Write("table.txt", "C\tfixed\tVelkScript\t\t0\t-\t-\t" + m_dir + "/script.txt\n" +
                               "D\tfixed\tVelkScript\t\t0\t-\t-\t" + m_dir + "/failing.txt\n" +
                               "E\tfixed\tVelkScript\t\t0\t-\t-\t" + m_dir + "/damaged.txt\n" +
                               "F\tfixed\tVelkScript\t\t0\t-\t-\t" + m_dir + "/other.img\n" +
                               "G\tfixed\tVelkScript\t\t0\t-\t-\t" + m_dir + "/gone.txt\n");
        ::setenv("VELKLEVEL2_VOLUME_TABLE", (m_dir + "/table.txt").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("VELKLEVEL2_VOLUME_TABLE");
        ::unsetenv("VELKLEVEL2_CONFIG_DIR");
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    void Write(const std::string& name, const std::string& text) { std::ofstream(m_dir + "/" + name) << text; }

    std::string m_dir;
};

TEST_F(ScriptedVolumeTest, OpensThroughTheVolumeTable)
{
    scripted::ScriptedVolume volume(u"VelkScript", u"fsm0");
    EXPECT_EQ(volume.Open(u"\\\\.\\C:"), 0);
    EXPECT_EQ(volume.Open(u"\\\\.\\D:"), platform::status::kNotReady);
    EXPECT_EQ(volume.Open(u"\\\\.\\E:"), platform::status::kFileCorrupt);
    EXPECT_EQ(volume.Open(u"\\\\.\\F:"), platform::status::kUnrecognizedVolume);
    EXPECT_EQ(volume.Open(u"\\\\.\\G:"), platform::status::kFileNotFound);
    EXPECT_EQ(volume.Open(u"\\\\.\\H:"), platform::status::kInvalidDrive);
    EXPECT_EQ(volume.Open(nullptr), platform::status::kInvalidParameter);
    RecordingSink sink;
    EXPECT_NE(volume.EnumerateFiles(&sink, &sink, nullptr), 0) << "nothing is open after a failed open";
    EXPECT_TRUE(sink.events.empty());
    uint8_t bits[8] = {};
    EXPECT_EQ(volume.ReadBitmap(0, 8, bits), 0);
}

TEST_F(ScriptedVolumeTest, WalksAndStops)
{
    scripted::ScriptedVolume volume(u"VelkScript", u"fsm0");
    ASSERT_EQ(volume.Open(u"\\\\.\\C:"), 0);
    RecordingSink sink;
    volume.EnumerateFiles(&sink, &sink, nullptr);
    EXPECT_EQ(sink.events, (std::vector<std::u16string>{u"begin", u"/a 3 2 1", u"log mid %s", u"/b 6 null",
                                                        u"/c : 2", u"end 3"}));

    RecordingSink stopping;
    stopping.filesBeforeStop = 1;
    volume.EnumerateFiles(&stopping, &stopping, nullptr);
    EXPECT_EQ(stopping.events, (std::vector<std::u16string>{u"begin", u"/a 3 2 1", u"end 1 stopped"}));
}

TEST_F(ScriptedVolumeTest, BitmapStopsAtTheVolumeEnd)
{
    scripted::ScriptedVolume volume(u"VelkScript", u"fsm0");
    ASSERT_EQ(volume.Open(u"\\\\.\\C:"), 0);
    uint8_t bits[8];
    std::fill(std::begin(bits), std::end(bits), 0xEE);
    ASSERT_NE(volume.ReadBitmap(0, 64, bits), 0);
    // Clusters 0-2 and 38-39 (40 and 41 lie past the volume); nothing past 64 bits touched.
    const uint8_t expected[8] = {0x07, 0, 0, 0, 0xC0, 0, 0, 0};
    EXPECT_TRUE(std::equal(std::begin(bits), std::end(bits), expected));
    uint8_t small[2] = {0xFF, 0xEE};
    ASSERT_NE(volume.ReadBitmap(2, 3, small), 0);
    EXPECT_EQ(small[0], 0x01);
    EXPECT_EQ(small[1], 0xEE);
    EXPECT_EQ(volume.ReadBitmap(65536, 8, bits), 0) << "an unavailable chunk";
    EXPECT_EQ(volume.ReadBitmap(0, 65537, bits), 0);
    EXPECT_NE(volume.GetDetails(), nullptr);
    volume.Close();
    volume.Close();
    EXPECT_EQ(volume.ReadBitmap(0, 8, bits), 0);
}

} // namespace
