// The exFAT plug-in against independent readers: every file's bytes at our
// extents equal the bytes the FUSE driver wrote, counts and clusters in use
// agree with fsck.exfat and dump.exfat, and nothing is written.

#include <gtest/gtest.h>

#include <filesystem>

#include "ExfatImages.h"
#include "ExfatReader.h"
#include "LittleEndian.h"
#include "common/ImageFacts.h"
#include "platform/Library.h"
#include "platform/Status.h"
#include "platform/Utf.h"

namespace {

namespace fs = std::filesystem;

// The number after `label` (and any blanks) in a tool's output; -1 if none.
int64_t Number(const std::string& text, const std::string& label)
{
    std::size_t at = text.find(label);
    long long value = -1;
    if (at == std::string::npos || std::sscanf(text.c_str() + at + label.size(), " %lld", &value) != 1)
        return -1;
    return value;
}

class ExfatPluginTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (!exfattest::MakeImages().empty())
            GTEST_SKIP() << exfattest::MakeImages();
        m_image = exfattest::ImageFolder() + "/" + GetParam();
        fstest::UseVolumeTable(exfattest::ImageFolder() + "/table-" + GetParam() + ".txt", 'E', "exFAT", m_image);
    }
    std::string m_image;
};

TEST_P(ExfatPluginTest, FilesBitmapAndCountsAgreeWithTheExfatTools)
{
    uint64_t before = fstest::Digest(m_image);
    fstest::Plugin plugin(exfattest::PluginPath());
    ASSERT_NE(plugin.Get(), nullptr) << plugin.Error();
    EXPECT_EQ(std::u16string(plugin->GetFileSystemName()), u"exFAT");
    ASSERT_EQ(plugin->Open(u"\\\\.\\E:"), 0);
    fstest::RecordingSink sink;
    plugin->EnumerateFiles(&sink, &sink, nullptr);
    EXPECT_EQ(sink.beginCalls, 1);
    EXPECT_EQ(sink.endCalls, 1);
    EXPECT_EQ(sink.wasInterrupted, 0);
    EXPECT_EQ(sink.filesScanned, static_cast<int64_t>(sink.order.size()));
    EXPECT_TRUE(sink.reports.empty()) << sink.reports.front();
    EXPECT_TRUE(sink.duplicates.empty());
    EXPECT_EQ(sink.percents.back(), 100);

    std::string dump = fstest::RunCommand("dump.exfat '" + m_image + "'").output;
    EXPECT_EQ(sink.totalClusters, Number(dump, "Total Clusters:"));
    EXPECT_EQ(sink.clustersInUse, sink.totalClusters - Number(dump, "Free Clusters:"));
    EXPECT_EQ(sink.clusterSize, static_cast<uint32_t>(Number(dump, "Cluster size:")));
    std::string fsck = fstest::RunCommand("fsck.exfat -n '" + m_image + "'").output;
    int64_t directories = 0;
    int64_t files = 0;
    std::vector<uint8_t> image = fstest::ReadBytes(m_image);
    fs::path tree = m_image + ".files";
    auto heap = [&](int64_t cluster) {
        // Cluster 0 of ours is the first cluster of the heap.
        return static_cast<std::size_t>(fsread::Le32(image.data() + 88)) * 512 +
               static_cast<std::size_t>(cluster) * sink.clusterSize;
    };
    ASSERT_EQ(image[108], 9) << "the heap offset above counts 512-byte sectors";
    for (const auto& [path, runs] : sink.files) {
        fs::path copy = tree / fs::u8path(path.substr(1));
        if (path == "/" || fs::is_directory(copy)) {
            ++directories;
            EXPECT_FALSE(runs.empty()) << path;
            continue;
        }
        ++files;
        ASSERT_TRUE(fs::exists(copy)) << path;
        std::vector<uint8_t> expected = fstest::ReadBytes(copy.string());
        int64_t clusters = 0;
        std::vector<uint8_t> found;
        for (auto [first, length] : runs) {
            clusters += length;
            auto at = image.begin() + static_cast<long>(heap(first));
            found.insert(found.end(), at, at + length * sink.clusterSize);
        }
        EXPECT_EQ(clusters, static_cast<int64_t>((expected.size() + sink.clusterSize - 1) / sink.clusterSize))
            << path;
        found.resize(std::min(found.size(), expected.size()));
        EXPECT_TRUE(found == expected) << path << ": the bytes at our extents are not the file's";
    }
    EXPECT_EQ(directories, Number(fsck, "clean. directories"));
    EXPECT_EQ(files, Number(fsck, ", files"));

    EXPECT_TRUE(sink.files["/empty.txt"].empty());
    EXPECT_EQ(sink.files.count("/ünï cödé.txt"), 1u);
    EXPECT_EQ(sink.files.count("/docs/日本語のファイル名.dat"), 1u);
    EXPECT_EQ(sink.files.count("/docs/deep/er/bottom.txt"), 1u);
    EXPECT_EQ(sink.files.count("/extended.bin"), 1u);
    EXPECT_GT(sink.files["/big1.bin"].size(), 1u);
    EXPECT_GT(sink.files["/frag"].size(), 1u) << "the directory should be fragmented";

    int64_t counted = 0;
    std::vector<uint8_t> chunk(8192);
    for (int64_t first = 0; first < sink.totalClusters + 65536; first += 65536) {
        ASSERT_NE(plugin->ReadBitmap(first, 65536, chunk.data()), 0);
        for (uint32_t i = 0; i < 65536; ++i) {
            if ((chunk[i / 8] >> (i % 8) & 1) != 0) {
                EXPECT_LT(first + i, sink.totalClusters);
                ++counted;
            }
        }
    }
    EXPECT_EQ(counted, sink.clustersInUse);
    uint8_t tail[2] = {0xFF, 0xFF};
    ASSERT_NE(plugin->ReadBitmap(sink.totalClusters - 3, 9, tail), 0);
    EXPECT_EQ(tail[0] & ~0x07, 0) << "bits past the last cluster are clear";
    EXPECT_EQ(tail[1], 0);

    std::string details = platform::ToUtf8(plugin->GetDetails());
    EXPECT_EQ(details.rfind("Volume: E:\\\nVolume name: VELKEX\nSerial number: 1234ABCD\nType: exFAT\n", 0), 0u)
        << details;
    EXPECT_EQ(details.back(), '\n');
    plugin->Close();
    plugin->Close();
    EXPECT_EQ(fstest::Digest(m_image), before) << "a scan changed the image";
}

TEST_P(ExfatPluginTest, StopsWhenTheEngineSaysSo)
{
    fstest::Plugin plugin(exfattest::PluginPath());
    ASSERT_EQ(plugin->Open(u"\\\\.\\E:"), 0);
    fstest::RecordingSink sink;
    sink.stopAfter = 1;
    plugin->EnumerateFiles(&sink, &sink, nullptr);
    EXPECT_EQ(sink.order, std::vector<std::string>{"/"});
    EXPECT_EQ(sink.filesScanned, 1);
    EXPECT_EQ(sink.wasInterrupted, 1);
}

TEST_P(ExfatPluginTest, VolumeFactsForTheVolumeTable)
{
    fsread::VolumeFacts facts;
    ASSERT_EQ(exfat::ReadVolumeInfo(m_image, &facts), 0);
    EXPECT_EQ(facts.fileSystemName, u"exFAT");
    EXPECT_EQ(facts.label, u"VELKEX");
    EXPECT_EQ(facts.serial, 0x1234ABCDu);
    std::string dump = fstest::RunCommand("dump.exfat '" + m_image + "'").output;
    EXPECT_EQ(facts.freeBytes, static_cast<uint64_t>(Number(dump, "Free Clusters:")) * facts.clusterSize);
    EXPECT_EQ(facts.totalBytes, static_cast<uint64_t>(facts.totalClusters) * facts.clusterSize);

    // The same facts through the export the volume table calls.
    platform::Library fsm3;
    ASSERT_TRUE(fsm3.Load(platform::ToUtf16(exfattest::PluginPath()))) << fsm3.Error();
    const auto readImageFacts = fsm3.Function<ReadImageFactsFn>("ReadImageFacts");
    ASSERT_NE(readImageFacts, nullptr);
    VelkImageFacts exported{};
    ASSERT_EQ(readImageFacts(m_image.c_str(), &exported), 0);
    EXPECT_EQ(exported.totalBytes, facts.totalBytes);
    EXPECT_EQ(exported.freeBytes, facts.freeBytes);
    EXPECT_EQ(exported.serial, 0x1234ABCDu);
    EXPECT_EQ(std::u16string(exported.label), u"VELKEX");
}

INSTANTIATE_TEST_SUITE_P(Images, ExfatPluginTest, ::testing::ValuesIn(exfattest::kImages),
                         [](const auto& info) { return std::string(info.param).substr(0, std::string(info.param).size() - 4); });

} // namespace
