// Damaged FAT volumes: a clear status from Open, or a report and a walk that
// goes on. Images are patched in memory copies of the test images.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "FatImages.h"
#include "FatReader.h"
#include "LittleEndian.h"
#include "platform/Status.h"

namespace {

class FatDamageTest : public ::testing::Test {
protected:
    void Load(const char* file)
    {
        if (!fattest::MakeImages().empty())
            GTEST_SKIP() << fattest::MakeImages();
        m_bytes = fstest::ReadBytes(fattest::ImageFolder() + "/" + file);
        ASSERT_FALSE(m_bytes.empty());
        ASSERT_EQ(Open(), 0);
        m_layout = m_reader.Layout();
        m_before = Walk();
    }
    int Open(std::size_t size = 0)
    {
        std::size_t length = size != 0 ? size : m_bytes.size();
        return m_reader.Open(std::make_unique<fsread::MemoryBlockSource>(m_bytes.data(), length));
    }
    fstest::WalkRecorder Walk()
    {
        fstest::WalkRecorder recorder;
        m_reader.Walk(recorder);
        return recorder;
    }
    uint8_t* FatEntry32(uint32_t cluster) { return m_bytes.data() + m_layout.FatOffset(0) + cluster * 4; }
    void SetFat32(uint32_t cluster, uint32_t value)
    {
        uint8_t* p = FatEntry32(cluster);
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    // The directory entry with this 11-byte short name.
    uint8_t* ShortEntry(const char* name11)
    {
        auto begin = m_bytes.begin() + static_cast<long>(m_layout.dataOffset);
        auto it = std::search(begin, m_bytes.end(), name11, name11 + 11);
        return it == m_bytes.end() ? nullptr : &*it;
    }
    uint32_t FirstFatCluster(const std::string& path) { return static_cast<uint32_t>(m_before.files[path][0].first + 2); }
    uint32_t LastFatCluster(const std::string& path)
    {
        auto run = m_before.files[path].back();
        return static_cast<uint32_t>(run.first + run.second - 1 + 2);
    }

    std::vector<uint8_t> m_bytes;
    fat::FatReader m_reader;
    fat::FatLayout m_layout;
    fstest::WalkRecorder m_before;
};

TEST_F(FatDamageTest, BootSectorsThatAreNotToBeTrustedAreRefused)
{
    Load("fat32.img");
    std::vector<uint8_t> good(m_bytes.begin(), m_bytes.begin() + 512);
    struct Case {
        const char* name;
        std::size_t offset;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"zeroed boot sector (a backup exists and is not used)", 0, std::vector<uint8_t>(512, 0)},
        {"no jump instruction", 0, {0x00}},
        {"zero bytes per sector", 11, {0, 0}},
        {"bytes per sector not a power of two", 11, {0x00, 0x03}},
        {"three sectors per cluster", 13, {3}},
        {"no FAT", 16, {0}},
        {"no reserved sectors", 14, {0, 0}},
        {"a FAT32 layout with too few clusters for FAT32", 32, {0x00, 0x00, 0x01, 0x00}},
        {"a FAT32 layout with a fixed root area", 17, {0x00, 0x02}},
        {"a FAT too small for its clusters", 36, {0x10, 0, 0, 0}},
        {"root cluster outside the volume", 44, {0xFF, 0xFF, 0xFF, 0x0F}},
    };
    for (const Case& c : cases) {
        std::copy(good.begin(), good.end(), m_bytes.begin());
        std::copy(c.bytes.begin(), c.bytes.end(), m_bytes.begin() + static_cast<long>(c.offset));
        EXPECT_EQ(Open(), platform::status::kUnrecognizedVolume) << c.name;
        EXPECT_FALSE(m_reader.RefusalReason().empty()) << c.name;
        EXPECT_FALSE(m_reader.IsOpen()) << c.name;
    }
}

TEST_F(FatDamageTest, TruncatedImagesGiveAStatus)
{
    Load("fat32.img");
    EXPECT_EQ(Open(m_bytes.size() - 512), platform::status::kFileCorrupt);
    EXPECT_EQ(Open(m_bytes.size() / 2), platform::status::kFileCorrupt);
    EXPECT_EQ(Open(300), platform::status::kUnrecognizedVolume);
}

TEST_F(FatDamageTest, ChainThatLoopsIsReportedAndEndsItsFile)
{
    Load("fat32.img");
    uint32_t first = FirstFatCluster("/big1.bin");
    SetFat32(LastFatCluster("/big1.bin"), first);
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder after = Walk();
    EXPECT_TRUE(after.Damaged("/big1.bin: cluster chain loops back on itself")) << after.damage.size();
    EXPECT_EQ(after.files["/big1.bin"], m_before.files["/big1.bin"]);
    EXPECT_EQ(after.files.size(), m_before.files.size()) << "the walk goes on";
}

TEST_F(FatDamageTest, CrossLinkedChainIsReportedOnTheLaterFile)
{
    Load("fat32.img");
    SetFat32(LastFatCluster("/big1.bin"), FirstFatCluster("/docs/big2.bin"));
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder after = Walk();
    EXPECT_TRUE(after.Damaged("/docs/big2.bin: cluster chain is cross-linked with another file"));
    EXPECT_TRUE(after.files["/docs/big2.bin"].empty());
    EXPECT_EQ(after.files.size(), m_before.files.size());
    // fsck.fat sees the same damage in the same image.
    std::string patched = fattest::ImageFolder() + "/crosslinked.img";
    fstest::WriteBytes(patched, m_bytes);
    fstest::CommandResult fsck = fstest::RunCommand("fsck.fat -n '" + patched + "'");
    EXPECT_NE(fsck.exitCode, 0) << fsck.output;
    std::remove(patched.c_str());
}

TEST_F(FatDamageTest, DirectoryPointingAtAnAncestorDoesNotLoopTheWalk)
{
    Load("fat32.img");
    uint8_t* deep = ShortEntry("DEEP       ");
    ASSERT_NE(deep, nullptr);
    uint32_t root = m_layout.rootCluster;
    deep[20] = static_cast<uint8_t>(root >> 16);
    deep[21] = static_cast<uint8_t>(root >> 24);
    deep[26] = static_cast<uint8_t>(root);
    deep[27] = static_cast<uint8_t>(root >> 8);
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder after = Walk();
    EXPECT_TRUE(after.Damaged("/docs/deep: cluster chain is cross-linked"));
    EXPECT_EQ(after.files.count("/docs/deep/er/bottom.txt"), 0u);
    EXPECT_EQ(after.files.count("/big1.bin"), 1u);
}

TEST_F(FatDamageTest, ChainValuesOutsideTheVolumeFreeOrBadEndTheChain)
{
    Load("fat32.img");
    uint32_t first = FirstFatCluster("/big1.bin");
    struct Case {
        uint32_t value;
        const char* report;
    } cases[] = {
        {0x0FFFFFF0, "cluster chain points outside the volume"},
        {1, "cluster chain points outside the volume"},
        {0x0FFFFFF7, "cluster chain runs into a bad cluster"},
    };
    std::vector<uint8_t> pristine = m_bytes;
    for (const Case& c : cases) {
        m_bytes = pristine;
        SetFat32(first, c.value);
        ASSERT_EQ(Open(), 0);
        fstest::WalkRecorder after = Walk();
        EXPECT_TRUE(after.Damaged(std::string("/big1.bin: ") + c.report)) << c.report;
        EXPECT_EQ(after.files["/big1.bin"], (fstest::Runs{{first - 2, 1}})) << c.report;
        EXPECT_EQ(after.files.size(), m_before.files.size());
    }
    m_bytes = pristine;
    SetFat32(first, 0);
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder after = Walk();
    EXPECT_TRUE(after.Damaged("/big1.bin: cluster chain runs into a free cluster"));
    EXPECT_TRUE(after.files["/big1.bin"].empty());
}

TEST_F(FatDamageTest, FileSizeThatDisagreesWithItsChainIsReported)
{
    Load("fat16.img");
    uint8_t* entry = ShortEntry("BOTTOM  TXT");
    ASSERT_NE(entry, nullptr);
    entry[28] = 0;
    entry[29] = 0x40; // 16 KiB in a one-cluster chain
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder after = Walk();
    EXPECT_TRUE(after.Damaged("/docs/deep/er/bottom.txt: cluster chain is shorter than the file size"));
    EXPECT_EQ(after.files["/docs/deep/er/bottom.txt"], m_before.files["/docs/deep/er/bottom.txt"]);
}

} // namespace
