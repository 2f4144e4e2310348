#include "platform/ReportFile.h"

#include "platform/Utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace platform {
namespace {

class ReportFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = std::filesystem::temp_directory_path() / ("reportfile-" + std::to_string(getpid()));
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::u16string PathOf(const std::string& name) const { return ToUtf16((m_folder / name).string()); }
    std::string Contents(const std::string& name) const
    {
        std::ifstream in(m_folder / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path m_folder;
};

TEST_F(ReportFileTest, WritesOneBytePerUnitWithCrLf)
{
    ReportFile file;
    ASSERT_TRUE(file.Create(PathOf("report.txt")));
    EXPECT_TRUE(file.Write(u"Velk level: 7.3\n"));
    EXPECT_TRUE(file.Write(u"caf\u00e9\u00ff\r\n\n"));
    EXPECT_TRUE(file.Write(u""));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(Contents("report.txt"), "Velk level: 7.3\r\ncaf\xE9\xFF\r\r\n\r\n");
}

TEST_F(ReportFileTest, UnitAboveFfWritesNothingOfThatText)
{
    ReportFile file;
    ASSERT_TRUE(file.Create(PathOf("wide.txt")));
    EXPECT_TRUE(file.Write(u"before\n"));
    EXPECT_FALSE(file.Write(u"abc\u0100def"));
    EXPECT_FALSE(file.Write(u"\u20ac"));
    EXPECT_TRUE(file.Write(u"after"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(Contents("wide.txt"), "before\r\nafter");
}

TEST_F(ReportFileTest, CreateTruncatesAndHandlesUnicodeNames)
{
    {
        std::ofstream old(m_folder / "caf\xC3\xA9.txt");
        old << "a much longer old content";
    }
    ReportFile file;
    ASSERT_TRUE(file.Create(PathOf("caf\xC3\xA9.txt")));
    EXPECT_TRUE(file.Write(u"new"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(Contents("caf\xC3\xA9.txt"), "new");
}

TEST_F(ReportFileTest, FailuresAreReported)
{
    ReportFile missing;
    EXPECT_FALSE(missing.Create(PathOf("no-such-folder/report.txt")));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.Write(u"x"));
    EXPECT_FALSE(missing.Flush());

    ReportFile full;
    ASSERT_TRUE(full.Create(u"/dev/full"));
    EXPECT_TRUE(full.Write(u"buffered"));
    EXPECT_FALSE(full.Flush());
    EXPECT_FALSE(full.Write(u"more")); // the stream stays in error

    ReportFile fullAtClose;
    ASSERT_TRUE(fullAtClose.Create(u"/dev/full"));
    EXPECT_TRUE(fullAtClose.Write(u"buffered"));
    EXPECT_FALSE(fullAtClose.Close());

    ReportFile big;
    ASSERT_TRUE(big.Create(u"/dev/full"));
    EXPECT_FALSE(big.Write(std::u16string(1 << 20, u'x')));
}

} // namespace
} // namespace platform
