// The FAT plug-ins against the real tools: extents from mshowfat, clusters in
// use from fsck.fat, and nothing written.

#include <gtest/gtest.h>

#include <cstring>

#include "FatImages.h"
#include "FatReader.h"
#include "common/ImageFacts.h"
#include "platform/Library.h"
#include "platform/Status.h"

namespace {

using fattest::FatImage;
using fstest::Runs;

// mshowfat prints "::/path <3-8> <10>"; FAT cluster 2 is our cluster 0.
std::map<std::string, Runs> ChainsFromMshowfat(const std::string& image, const std::vector<std::string>& paths)
{
    std::string command = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 mshowfat -i '" + image + "'";
    for (const std::string& path : paths)
        command += " '::" + path + "'";
    fstest::CommandResult result = fstest::RunCommand(command);
    std::map<std::string, Runs> chains;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t at = line.find(" <");
        if (line.rfind("::", 0) != 0 || at == std::string::npos)
            continue;
        Runs runs;
        for (std::size_t open = line.find('<', at); open != std::string::npos; open = line.find('<', open + 1)) {
            long long first = 0;
            long long last = 0;
            int fields = std::sscanf(line.c_str() + open, "<%lld-%lld>", &first, &last);
            if (fields < 1)
                continue;
            if (fields == 1)
                last = first;
            runs.emplace_back(first - 2, last - first + 1);
        }
        chains[line.substr(2, at - 2)] = runs;
    }
    return chains;
}

int64_t ClustersInUseFromFsck(const std::string& image)
{
    fstest::CommandResult result = fstest::RunCommand("fsck.fat -n '" + image + "'");
    // "... 5 files, 20/80628 clusters"
    std::size_t at = result.output.find(" files, ");
    long long used = -1;
    if (at == std::string::npos || std::sscanf(result.output.c_str() + at, " files, %lld/", &used) != 1)
        return -1;
    return used;
}

class FatPluginTest : public ::testing::TestWithParam<FatImage> {
protected:
    void SetUp() override
    {
        if (!fattest::MakeImages().empty())
            GTEST_SKIP() << fattest::MakeImages();
        m_image = fattest::ImageFolder() + "/" + GetParam().file;
        fstest::UseVolumeTable(fattest::ImageFolder() + "/table-" + GetParam().file + ".txt", 'F',
                               GetParam().fileSystemName, m_image);
    }
    std::string m_image;
};

TEST_P(FatPluginTest, ExtentsAndClustersInUseAgreeWithTheFatTools)
{
    uint64_t before = fstest::Digest(m_image);
    fstest::Plugin plugin(fattest::PluginPath(GetParam().plugin));
    ASSERT_NE(plugin.Get(), nullptr) << plugin.Error();
    EXPECT_EQ(std::u16string(plugin->GetFileSystemName()), platform::ToUtf16(GetParam().fileSystemName));
    ASSERT_EQ(plugin->Open(u"\\\\.\\F:"), 0);
    fstest::RecordingSink sink;
    plugin->EnumerateFiles(&sink, &sink, nullptr);

    EXPECT_EQ(sink.beginCalls, 1);
    EXPECT_EQ(sink.endCalls, 1);
    EXPECT_EQ(sink.wasInterrupted, 0);
    EXPECT_EQ(sink.filesScanned, static_cast<int64_t>(sink.order.size()));
    EXPECT_EQ(sink.clusterSize, 512u);
    EXPECT_TRUE(sink.reports.empty()) << sink.reports.front();
    EXPECT_TRUE(sink.duplicates.empty());
    EXPECT_EQ(sink.clustersInUse, ClustersInUseFromFsck(m_image));

    std::vector<std::string> paths;
    for (const auto& [path, runs] : sink.files) {
        if (path != "/")
            paths.push_back(path);
    }
    std::map<std::string, Runs> oracle = ChainsFromMshowfat(m_image, paths);
    for (const std::string& path : paths) {
        Runs expected = oracle.count(path) != 0 ? oracle[path] : Runs{};
        // mshowfat gives chains run by run; we merge runs that continue on disk.
        Runs merged;
        for (auto run : expected) {
            if (!merged.empty() && merged.back().first + merged.back().second == run.first)
                merged.back().second += run.second;
            else
                merged.push_back(run);
        }
        EXPECT_EQ(sink.files[path], merged) << path;
    }

    // What the images were made to hold.
    EXPECT_EQ(sink.files.count("/empty.txt"), 1u);
    EXPECT_TRUE(sink.files["/empty.txt"].empty());
    EXPECT_EQ(sink.files.count("/ünï cödé.txt"), 1u);
    EXPECT_EQ(sink.files.count("/docs/日本語のファイル名.dat"), 1u);
    EXPECT_EQ(sink.files.count("/docs/deep/er/bottom.txt"), 1u);
    EXPECT_GT(sink.files["/big1.bin"].size(), 1u);
    EXPECT_GT(sink.files["/frag"].size(), 1u) << "the directory should be fragmented";
    EXPECT_GT(sink.order.size(), 200u);
    EXPECT_EQ(sink.files.count("/") != 0, std::string(GetParam().file) == "fat32.img");
    for (std::size_t i = 1; i < sink.percents.size(); ++i)
        EXPECT_LE(sink.percents[i - 1], sink.percents[i]);
    EXPECT_EQ(sink.percents.back(), 100);

    // The bitmap holds exactly the clusters in use, and nothing past the end.
    int64_t counted = 0;
    std::vector<uint8_t> chunk(8192 + 1, 0xAA);
    for (int64_t first = 0; first < sink.totalClusters + 65536; first += 65536) {
        std::fill(chunk.begin(), chunk.end(), 0xAA);
        ASSERT_NE(plugin->ReadBitmap(first, 65536, chunk.data()), 0);
        EXPECT_EQ(chunk[8192], 0xAA) << "wrote past the chunk";
        for (uint32_t i = 0; i < 65536; ++i) {
            if ((chunk[i / 8] >> (i % 8) & 1) != 0) {
                EXPECT_LT(first + i, sink.totalClusters);
                ++counted;
            }
        }
    }
    EXPECT_EQ(counted, sink.clustersInUse);
    for (const auto& [path, runs] : sink.files) {
        for (auto [first, length] : runs) {
            uint8_t bits[1] = {0};
            ASSERT_NE(plugin->ReadBitmap(first, 1, bits), 0);
            EXPECT_EQ(bits[0], 1) << path << " cluster " << first;
        }
    }
    EXPECT_EQ(plugin->ReadBitmap(0, 65537, chunk.data()), 0);
    EXPECT_EQ(plugin->ReadBitmap(-1, 8, chunk.data()), 0);

    const char16_t* details = plugin->GetDetails();
    ASSERT_NE(details, nullptr);
    std::string text = platform::ToUtf8(details);
    EXPECT_EQ(text.rfind("Volume: F:\\\nVolume name: VELK", 0), 0u) << text;
    EXPECT_NE(text.find("Serial number: 1234ABCD\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Cluster size: 512 bytes\n"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');

    plugin->Close();
    plugin->Close();
    EXPECT_EQ(plugin->GetDetails(), nullptr);
    EXPECT_EQ(plugin->ReadBitmap(0, 8, chunk.data()), 0);
    EXPECT_EQ(fstest::Digest(m_image), before) << "a scan changed the image";
}

TEST_P(FatPluginTest, StopsWhenTheEngineSaysSoAndEndsTheWalkInterrupted)
{
    fstest::Plugin plugin(fattest::PluginPath(GetParam().plugin));
    ASSERT_EQ(plugin->Open(u"\\\\.\\F:"), 0);
    fstest::RecordingSink sink;
    sink.stopAfter = 3;
    plugin->EnumerateFiles(&sink, &sink, nullptr);
    EXPECT_EQ(sink.order.size(), 3u);
    EXPECT_EQ(sink.filesScanned, 3);
    EXPECT_EQ(sink.wasInterrupted, 1);
    EXPECT_EQ(sink.endCalls, 1);
}

TEST_P(FatPluginTest, VolumeFactsForTheVolumeTableAgreeWithMinfo)
{
    fsread::VolumeFacts facts;
    ASSERT_EQ(fat::ReadVolumeInfo(m_image, &facts), 0);
    EXPECT_EQ(platform::ToUtf8(facts.fileSystemName), GetParam().fileSystemName);
    EXPECT_EQ(facts.serial, 0x1234ABCDu);
    EXPECT_EQ(platform::ToUtf8(facts.label).rfind("VELK", 0), 0u);
    EXPECT_EQ(facts.totalBytes, static_cast<uint64_t>(facts.totalClusters) * facts.clusterSize);
    EXPECT_EQ(facts.freeBytes,
              static_cast<uint64_t>(facts.totalClusters - ClustersInUseFromFsck(m_image)) * facts.clusterSize);
    fstest::CommandResult minfo = fstest::RunCommand("MTOOLS_SKIP_CHECK=1 minfo -i '" + m_image + "'");
    EXPECT_NE(minfo.output.find("serial number: 1234ABCD"), std::string::npos) << minfo.output;
    EXPECT_NE(fat::ReadVolumeInfo(m_image + ".missing", &facts), 0);

    // The same facts through the export the volume table calls.
    platform::Library fsm4;
    ASSERT_TRUE(fsm4.Load(platform::ToUtf16(fattest::PluginPath("fsm4.so")))) << fsm4.Error();
    const auto readImageFacts = fsm4.Function<ReadImageFactsFn>("ReadImageFacts");
    ASSERT_NE(readImageFacts, nullptr);
    VelkImageFacts exported{};
    ASSERT_EQ(readImageFacts(m_image.c_str(), &exported), 0);
    EXPECT_EQ(exported.totalBytes, facts.totalBytes);
    EXPECT_EQ(exported.freeBytes, facts.freeBytes);
    EXPECT_EQ(exported.serial, 0x1234ABCDu);
    EXPECT_EQ(std::u16string(exported.label), facts.label);
    EXPECT_EQ(readImageFacts((m_image + ".missing").c_str(), &exported), platform::status::kFileNotFound);
    EXPECT_EQ(readImageFacts(nullptr, &exported), platform::status::kInvalidParameter);
}

INSTANTIATE_TEST_SUITE_P(Images, FatPluginTest, ::testing::ValuesIn(fattest::kImages),
                         [](const auto& info) { return std::string(info.param.file).substr(0, 5); });

// fsm1 serves FAT32 only and fsm2 FAT12/16 only; fsm4 reads every type.
TEST(FatPlugins, EachServesItsOwnFatTypes)
{
    if (!fattest::MakeImages().empty())
        GTEST_SKIP() << fattest::MakeImages();
    struct Case {
        const char* plugin;
        const char* image;
        int status;
    } cases[] = {
        {"fsm1.so", "fat32.img", 0},  {"fsm1.so", "fat16.img", 1005}, {"fsm1.so", "fat12.img", 1005},
        {"fsm2.so", "fat32.img", 1005}, {"fsm2.so", "fat16.img", 0},  {"fsm2.so", "fat12.img", 0},
        {"fsm4.so", "fat32.img", 0},  {"fsm4.so", "fat16.img", 0},    {"fsm4.so", "fat12.img", 0},
    };
    std::string table = fattest::ImageFolder() + "/table-types.txt";
    for (const Case& c : cases) {
        fstest::UseVolumeTable(table, 'G', "FAT", fattest::ImageFolder() + "/" + c.image);
        fstest::Plugin plugin(fattest::PluginPath(c.plugin));
        ASSERT_NE(plugin.Get(), nullptr) << plugin.Error();
        EXPECT_EQ(plugin->Open(u"\\\\.\\G:"), c.status) << c.plugin << " " << c.image;
    }
    fstest::Plugin fsm4(fattest::PluginPath("fsm4.so"));
    EXPECT_EQ(std::u16string(fsm4->GetFileSystemName()), u"FAT");
}

TEST(FatPlugins, OpenFailuresAreWin32Statuses)
{
    if (!fattest::MakeImages().empty())
        GTEST_SKIP() << fattest::MakeImages();
    std::string table = fattest::ImageFolder() + "/table-open.txt";
    fstest::Plugin plugin(fattest::PluginPath("fsm1.so"));
    fstest::RecordingSink sink;
    EXPECT_NE(plugin->EnumerateFiles(&sink, &sink, nullptr), 0) << "nothing is open yet";
    EXPECT_EQ(sink.beginCalls, 0);
    plugin->Close();

    fstest::UseVolumeTable(table, 'H', "FAT32", fattest::ImageFolder() + "/no-such.img");
    EXPECT_EQ(plugin->Open(u"\\\\.\\H:"), platform::status::kFileNotFound);
    EXPECT_EQ(plugin->Open(u"\\\\.\\Q:"), platform::status::kInvalidDrive);
    EXPECT_EQ(plugin->Open(u"C:\\"), platform::status::kInvalidParameter);
    EXPECT_EQ(plugin->Open(nullptr), platform::status::kInvalidParameter);
    fstest::UseVolumeTable(table, 'H', "FAT32", fattest::ImageFolder());
    EXPECT_EQ(plugin->Open(u"\\\\.\\H:"), platform::status::kUnrecognizedVolume) << "a folder is no volume";
}

} // namespace
