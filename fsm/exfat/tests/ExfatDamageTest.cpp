// Damaged exFAT volumes: a clear status from Open, or a report and a walk
// that goes on. Images are patched in memory copies of the test images.

#include <gtest/gtest.h>

#include <algorithm>

#include "ExfatDirectory.h"
#include "ExfatImages.h"
#include "ExfatReader.h"
#include "LittleEndian.h"
#include "platform/Status.h"

namespace {

class ExfatDamageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!exfattest::MakeImages().empty())
            GTEST_SKIP() << exfattest::MakeImages();
        m_bytes = fstest::ReadBytes(exfattest::ImageFolder() + "/exfat4k.img");
        ASSERT_EQ(Open(), 0);
        m_layout = m_reader.Layout();
        m_before = Walk();
    }
    int Open(std::size_t size = 0)
    {
        return m_reader.Open(
            std::make_unique<fsread::MemoryBlockSource>(m_bytes.data(), size != 0 ? size : m_bytes.size()));
    }
    fstest::WalkRecorder Walk()
    {
        fstest::WalkRecorder recorder;
        m_reader.Walk(recorder);
        return recorder;
    }
    void SetFat(uint32_t cluster, uint32_t value)
    {
        uint8_t* p = m_bytes.data() + m_layout.FatByteOffset() + cluster * 4;
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    // The file entry (0x85) of a file whose name fits one name entry.
    uint8_t* FileEntry(const std::u16string& name)
    {
        std::vector<uint8_t> pattern;
        for (char16_t c : name) {
            pattern.push_back(static_cast<uint8_t>(c));
            pattern.push_back(static_cast<uint8_t>(c >> 8));
        }
        auto it = std::search(m_bytes.begin(), m_bytes.end(), pattern.begin(), pattern.end());
        if (it == m_bytes.end())
            return nullptr;
        uint8_t* entry = &*it - 2 - 64;
        return entry[0] == 0x85 && entry[32] == 0xC0 ? entry : nullptr;
    }
    void Reseal(uint8_t* set)
    {
        uint16_t sum = exfat::EntrySetChecksum(set, set[1] + 1u);
        set[2] = static_cast<uint8_t>(sum);
        set[3] = static_cast<uint8_t>(sum >> 8);
    }
    void ResealBoot()
    {
        uint32_t sum = exfat::BootChecksum(m_bytes.data(), 512);
        for (std::size_t at = 11 * 512; at < 12 * 512; at += 4) {
            for (int i = 0; i < 4; ++i)
                m_bytes[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(sum >> (8 * i));
        }
    }
    uint32_t FirstCluster(const std::string& path) { return static_cast<uint32_t>(m_before.files[path][0].first + 2); }

    std::vector<uint8_t> m_bytes;
    exfat::ExfatReader m_reader;
    exfat::ExfatLayout m_layout;
    fstest::WalkRecorder m_before;
};

TEST_F(ExfatDamageTest, BootRegionsThatAreNotToBeTrustedAreRefused)
{
    std::vector<uint8_t> good(m_bytes.begin(), m_bytes.begin() + 12 * 512);
    struct Case {
        const char* name;
        std::size_t offset;
        std::vector<uint8_t> bytes;
        bool reseal;
        int status;
    } cases[] = {
        {"zeroed boot sector (the backup region is not used)", 0, std::vector<uint8_t>(512, 0), false, 1005},
        {"a field that must be zero", 20, {1}, true, 1005},
        {"boot checksum that does not match", 100, {0x99}, false, 1392},
        {"sector size shift of 13", 108, {13}, true, 1392},
        {"cluster heap past the volume", 92, {0xFF, 0xFF, 0xFF, 0x00}, true, 1392},
        {"FAT too small", 84, {1, 0, 0, 0}, true, 1392},
        {"root cluster outside the heap", 96, {0xFF, 0xFF, 0, 0}, true, 1392},
        {"three FATs", 110, {3}, true, 1392},
    };
    for (const Case& c : cases) {
        std::copy(good.begin(), good.end(), m_bytes.begin());
        std::copy(c.bytes.begin(), c.bytes.end(), m_bytes.begin() + static_cast<long>(c.offset));
        if (c.reseal)
            ResealBoot();
        EXPECT_EQ(Open(), c.status) << c.name;
        EXPECT_FALSE(m_reader.RefusalReason().empty()) << c.name;
        EXPECT_FALSE(m_reader.IsOpen()) << c.name;
    }
}

TEST_F(ExfatDamageTest, TruncatedImageOrMissingBitmapGivesAStatus)
{
    EXPECT_EQ(Open(m_bytes.size() - 4096), platform::status::kFileCorrupt);
    EXPECT_EQ(Open(300), platform::status::kUnrecognizedVolume);
    // The root's bitmap entry marked unused.
    uint8_t* root = m_bytes.data() + m_layout.ClusterOffset(m_layout.rootCluster);
    for (int i = 0; i < 8; ++i) {
        if (root[i * 32] == 0x81)
            root[i * 32] = 0x01;
    }
    EXPECT_EQ(Open(), platform::status::kFileCorrupt);
}

TEST_F(ExfatDamageTest, ChainLoopAndCrossLinkAreReportedAndTheWalkGoesOn)
{
    ASSERT_GT(m_before.files["/big1.bin"].size(), 1u) << "big1.bin should be fragmented, so chained";
    uint32_t first = FirstCluster("/big1.bin");
    SetFat(first, first);
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder looped = Walk();
    EXPECT_TRUE(looped.Damaged("/big1.bin: cluster chain loops back on itself"));
    EXPECT_EQ(looped.files["/big1.bin"], (fstest::Runs{{first - 2, 1}}));
    EXPECT_EQ(looped.files.size(), m_before.files.size());

    SetFat(first, FirstCluster("/docs/big2.bin"));
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder crossed = Walk();
    EXPECT_TRUE(crossed.Damaged("/docs/big2.bin: cluster is cross-linked with another file"));
    EXPECT_TRUE(crossed.files["/docs/big2.bin"].empty());
    EXPECT_EQ(crossed.files.size(), m_before.files.size());
}

TEST_F(ExfatDamageTest, BadEntrySetsAreReported)
{
    uint8_t* bottom = FileEntry(u"bottom.txt");
    ASSERT_NE(bottom, nullptr);
    bottom[64 + 2] = 'B'; // the name changes, the checksum does not
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder after = Walk();
    EXPECT_TRUE(after.Damaged("/docs/deep/er/Bottom.txt: entry set checksum does not match"));
    EXPECT_EQ(after.files["/docs/deep/er/Bottom.txt"], m_before.files["/docs/deep/er/bottom.txt"]);

    uint8_t* empty = FileEntry(u"empty.txt");
    ASSERT_NE(empty, nullptr);
    empty[1] = 0; // no secondaries
    ASSERT_EQ(Open(), 0);
    after = Walk();
    EXPECT_TRUE(after.Damaged("/: file entry has a bad secondary count"));
    EXPECT_EQ(after.files.count("/empty.txt"), 0u);
    EXPECT_EQ(after.files.count("/big1.bin"), 1u);
}

TEST_F(ExfatDamageTest, ContiguousRunsOutsideTheHeapOrOnFreeClustersAreReported)
{
    uint8_t* bottom = FileEntry(u"bottom.txt");
    ASSERT_NE(bottom, nullptr);
    ASSERT_NE(bottom[32 + 1] & exfat::kFlagNoFatChain, 0) << "a small file should be one contiguous run";
    uint8_t* stream = bottom + 32;
    stream[20] = 0xF0;
    stream[21] = 0xFF;
    Reseal(bottom);
    ASSERT_EQ(Open(), 0);
    fstest::WalkRecorder after = Walk();
    EXPECT_TRUE(after.Damaged("/docs/deep/er/bottom.txt: contiguous run reaches outside the volume"));
    EXPECT_TRUE(after.files["/docs/deep/er/bottom.txt"].empty());

    // Pointed at the last cluster, which nothing uses.
    uint32_t last = m_layout.clusterCount + 1;
    stream[20] = static_cast<uint8_t>(last);
    stream[21] = static_cast<uint8_t>(last >> 8);
    stream[22] = 0;
    stream[23] = 0;
    Reseal(bottom);
    ASSERT_EQ(Open(), 0);
    after = Walk();
    EXPECT_TRUE(after.Damaged("/docs/deep/er/bottom.txt: file uses a cluster the allocation bitmap marks free"));
    EXPECT_EQ(after.files["/docs/deep/er/bottom.txt"], (fstest::Runs{{last - 2, 1}}));
}

} // namespace
