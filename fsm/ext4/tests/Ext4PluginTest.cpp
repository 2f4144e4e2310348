// fsm5 against the peer tools: debugfs and filefrag for extents, dumpe2fs for
// the bitmap and the counts, on images the real tools made.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <random>
#include <sstream>
#include <sys/mount.h>
#include <unistd.h>

#include "../Ext4Reader.h"
#include "common/ImageFacts.h"
#include "PluginHarness.h"
#include "platform/Status.h"

using namespace fsmtest;

namespace {

const std::string kImages = VELK_EXT4_IMAGES;
const std::string kPlugin = VELK_FSM5_PATH;

std::string Image(const std::string& name) { return kImages + "/" + name + ".img"; }

// Drive letters the volume table file gives the images; E first.
const std::vector<std::string> kLettered = {"basic", "small1k", "blockmap", "inline", "frag", "bigalloc", "plain", "dirloop",
                                            "crosslink", "badextent", "badrecord", "zerosuper", "zerogroups",
                                            "truncated", "garbage"};

char LetterOf(const std::string& name)
{
    for (std::size_t i = 0; i < kLettered.size(); ++i)
        if (kLettered[i] == name)
            return static_cast<char>('E' + i);
    return '?';
}

std::u16string DevicePath(const std::string& name)
{
    std::u16string path = u"\\\\.\\X:";
    path[4] = static_cast<char16_t>(LetterOf(name));
    return path;
}

class Ext4Environment : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::vector<std::pair<char, std::string>> drives;
        for (const auto& name : kLettered)
            drives.emplace_back(LetterOf(name), Image(name));
        static std::string table = WriteVolumeTable(kImages + "/volumes.tsv", drives, "ext4");
        ::setenv("VELKLEVEL2_VOLUME_TABLE", table.c_str(), 1);
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Ext4Environment);

struct Scan {
    int openStatus = -1;
    RecordingSink sink;
    RecordingLog log;
};

std::unique_ptr<Scan> ScanImage(Plugin& plugin, const std::string& name)
{
    auto scan = std::make_unique<Scan>();
    scan->openStatus = plugin.volume->Open(DevicePath(name).c_str());
    if (scan->openStatus == 0)
        plugin.volume->EnumerateFiles(&scan->sink, &scan->log, nullptr);
    return scan;
}

// debugfs "stat" per path, in one run: the data extents (or mapped blocks) in
// logical order, leaving out the tree and indirect blocks.
std::map<std::string, std::vector<Span>> DebugfsExtents(const std::string& image, const std::vector<std::string>& paths)
{
    const std::string commands = kImages + "/debugfs.cmds";
    {
        std::ofstream out(commands, std::ios::trunc);
        for (const auto& path : paths)
            out << "stat \"" << path << "\"\n";
    }
    std::istringstream output(
        RunCommand("DEBUGFS_PAGER=__none__ debugfs -f " + Quote(commands) + " " + Quote(image) + " 2>/dev/null"));
    std::map<std::string, std::vector<Span>> result;
    std::string current;
    std::size_t next = 0;
    bool inList = false;
    for (std::string line; std::getline(output, line);) {
        if (line.rfind("debugfs: ", 0) == 0) {
            current = next < paths.size() ? paths[next++] : std::string();
            result[current];
            inList = false;
            continue;
        }
        if (line == "EXTENTS:" || line == "BLOCKS:") {
            inList = true;
            continue;
        }
        if (!inList || line.empty() || line.rfind("TOTAL", 0) == 0) {
            inList = false;
            continue;
        }
        std::istringstream entries(line);
        for (std::string entry; std::getline(entries, entry, ',');) {
            const auto open = entry.find('(');
            const auto colon = entry.find("):");
            if (open == std::string::npos || colon == std::string::npos || !std::isdigit(entry[open + 1]))
                continue; // (ETB0), (IND), (DIND), (TIND): metadata, not data
            const std::string physical = entry.substr(colon + 2);
            const int64_t lo = std::stoll(physical);
            const auto dash = physical.find('-');
            const int64_t hi = dash == std::string::npos ? lo : std::stoll(physical.substr(dash + 1));
            AddSpan(result[current], lo, hi - lo + 1);
        }
    }
    return result;
}

struct Dumpe2fs {
    int64_t blockCount = 0;
    int64_t freeBlocks = 0;
    int64_t firstBlock = 0;
    int64_t blockSize = 0;
    int64_t clusterSize = 0;
    std::vector<Span> freeRanges;
};

Dumpe2fs ReadDumpe2fs(const std::string& image)
{
    Dumpe2fs d;
    std::istringstream output(RunCommand("dumpe2fs " + Quote(image) + " 2>/dev/null"));
    for (std::string line; std::getline(output, line);) {
        auto value = [&](const char* key) { return std::stoll(line.substr(std::strlen(key))); };
        if (line.rfind("Block count:", 0) == 0)
            d.blockCount = value("Block count:");
        else if (line.rfind("Free blocks:", 0) == 0)
            d.freeBlocks = value("Free blocks:");
        else if (line.rfind("Block size:", 0) == 0)
            d.blockSize = value("Block size:");
        else if (line.rfind("Cluster size:", 0) == 0)
            d.clusterSize = value("Cluster size:");
        else if (line.rfind("First block:", 0) == 0)
            d.firstBlock = value("First block:");
        else if (line.rfind("  Free blocks: ", 0) == 0) {
            std::istringstream ranges(line.substr(15));
            for (std::string range; std::getline(ranges, range, ',');) {
                if (range.find_first_of("0123456789") == std::string::npos)
                    continue;
                int64_t lo = std::stoll(range);
                auto dash = range.find('-');
                int64_t hi = dash == std::string::npos ? lo : std::stoll(range.substr(dash + 1));
                d.freeRanges.push_back({lo, hi - lo + 1});
            }
        }
    }
    // With bigalloc, dumpe2fs prints each free range's end as the first block
    // of its last cluster; the whole cluster is free.
    if (d.clusterSize > d.blockSize && d.blockSize > 0) {
        const int64_t ratio = d.clusterSize / d.blockSize;
        for (auto& r : d.freeRanges) {
            const int64_t last = (r.first + r.length - 1) / ratio * ratio + ratio - 1;
            r.length = std::min(last, d.blockCount - 1) - r.first + 1;
        }
    }
    return d;
}

void ExpectBitmapMatches(IVolume* volume, const Dumpe2fs& d)
{
    std::vector<uint8_t> expected(static_cast<std::size_t>(d.blockCount + 65536) / 8 + 1, 0);
    auto set = [&](int64_t b) { expected[static_cast<std::size_t>(b / 8)] |= static_cast<uint8_t>(1u << (b % 8)); };
    auto clear = [&](int64_t b) { expected[static_cast<std::size_t>(b / 8)] &= static_cast<uint8_t>(~(1u << (b % 8))); };
    for (int64_t b = 0; b < d.blockCount; ++b)
        set(b);
    for (const auto& r : d.freeRanges)
        for (int64_t b = r.first; b < r.first + r.length; ++b)
            clear(b);
    // Chunks that start mid-byte, a short last chunk and one past the end.
    std::vector<uint8_t> chunk(8192);
    for (int64_t first = 0; first < d.blockCount + 100; first += 65536 - 3) {
        std::fill(chunk.begin(), chunk.end(), 0xFF);
        const uint32_t count = 65536 - 3;
        ASSERT_NE(volume->ReadBitmap(first, count, chunk.data()), 0) << "chunk at " << first;
        for (uint32_t i = 0; i < count; ++i) {
            const int64_t b = first + i;
            const bool want = (expected[static_cast<std::size_t>(b / 8)] >> (b % 8)) & 1;
            const bool got = (chunk[i / 8] >> (i % 8)) & 1;
            ASSERT_EQ(got, want) << "block " << b;
        }
    }
    EXPECT_EQ(volume->ReadBitmap(0, 65537, chunk.data()), 0) << "a chunk over 65,536 clusters is refused";
}

} // namespace

// Every image the tools made: extents of every regular file as debugfs reads
// them, the counts and the whole bitmap as dumpe2fs has them, every file once,
// and not a byte of the image changed.
class Ext4Oracle : public ::testing::TestWithParam<std::string> {};

TEST_P(Ext4Oracle, AgreesWithDebugfsAndDumpe2fs)
{
    const std::string name = GetParam();
    if (std::ifstream(kImages + "/" + name + ".skip")) {
        GTEST_SKIP() << "image " << name << " not made: "
                     << ReadLines(kImages + "/" + name + ".skip").front();
    }
    const auto before = ReadBytes(Image(name));
    Plugin plugin(kPlugin);
    ASSERT_NE(plugin.volume, nullptr) << plugin.Library().Error();
    auto scan = ScanImage(plugin, name);
    ASSERT_EQ(scan->openStatus, 0);
    const auto& sink = scan->sink;
    EXPECT_EQ(sink.beginCalls, 1);
    EXPECT_EQ(sink.endCalls, 1);
    EXPECT_EQ(sink.interrupted, 0);
    EXPECT_EQ(sink.filesScanned, sink.calls);
    EXPECT_TRUE(scan->log.reports.empty()) << scan->log.All();

    const Dumpe2fs d = ReadDumpe2fs(Image(name));
    EXPECT_EQ(sink.totalClusters, d.blockCount);
    EXPECT_EQ(sink.clustersInUse, d.blockCount - d.freeBlocks);
    EXPECT_EQ(sink.clusterSize, static_cast<uint32_t>(d.blockSize));
    ExpectBitmapMatches(plugin.volume, d);

    const auto paths = ReadLines(kImages + "/" + name + ".files");
    ASSERT_FALSE(paths.empty());
    const auto oracle = DebugfsExtents(Image(name), paths);
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(sink.files.count(path)) << "missing from the walk";
        EXPECT_EQ(sink.seen.at(path), 1);
        ASSERT_TRUE(oracle.count(path));
        EXPECT_EQ(sink.files.at(path), oracle.at(path));
        for (const auto& extent : sink.files.at(path))
            EXPECT_TRUE(extent.first >= 0 && extent.first + extent.length <= d.blockCount);
    }
    for (const auto& [path, count] : sink.seen)
        EXPECT_EQ(count, 1) << path << " delivered more than once";
    for (int i = 1; i < static_cast<int>(sink.percents.size()); ++i)
        ASSERT_LE(sink.percents[i - 1], sink.percents[i]);
    EXPECT_LE(sink.percents.back(), 100);
    EXPECT_GE(sink.percents.front(), 0);
    plugin.volume->Close();
    EXPECT_EQ(ReadBytes(Image(name)), before) << "the scan changed the image";
}

INSTANTIATE_TEST_SUITE_P(Images, Ext4Oracle, ::testing::Values("basic", "small1k", "blockmap", "inline", "bigalloc", "frag"));

// What the tree holds: the hard link comes once, the empty file, inline files
// and the directories that own blocks; a path that is not ASCII arrives intact.
TEST(Ext4Walk, DeliversTheTreeAsDesigned)
{
    Plugin plugin(kPlugin);
    auto scan = ScanImage(plugin, "basic");
    ASSERT_EQ(scan->openStatus, 0);
    const auto& files = scan->sink.files;
    EXPECT_EQ(files.count("/docs/original.txt") + files.count("/docs/hardlink.txt"), 1u);
    ASSERT_TRUE(files.count("/empty.txt"));
    EXPECT_TRUE(scan->sink.nullExtents.at("/empty.txt"));
    EXPECT_TRUE(files.count("/docs/naïve – 日本語.txt"));
    ASSERT_TRUE(files.count("/"));
    EXPECT_FALSE(files.at("/").empty());
    ASSERT_TRUE(files.count("/big"));
    int64_t dirBlocks = 0;
    for (const auto& e : files.at("/big"))
        dirBlocks += e.length;
    EXPECT_GT(dirBlocks, 1) << "a directory of 240 entries spans several blocks";
    EXPECT_FALSE(files.count("/empty-dir") && files.at("/empty-dir").empty());
    ASSERT_TRUE(files.count("/docs/long-link"));
    EXPECT_EQ(files.at("/docs/long-link").size(), 1u);
    ASSERT_TRUE(files.count("/sparse.bin"));
    int64_t sparseBlocks = 0;
    for (const auto& e : files.at("/sparse.bin"))
        sparseBlocks += e.length;
    EXPECT_EQ(sparseBlocks, 4) << "holes are skipped: two written parts of two blocks each remain";
    EXPECT_TRUE(files.count("/<8>")) << "the journal owns blocks";

    Plugin inlinePlugin(kPlugin);
    auto inlined = ScanImage(inlinePlugin, "inline");
    ASSERT_EQ(inlined->openStatus, 0);
    ASSERT_TRUE(inlined->sink.files.count("/docs/note-1.txt"));
    EXPECT_TRUE(inlined->sink.nullExtents.at("/docs/note-1.txt")) << "inline data owns no blocks";
}

TEST(Ext4Walk, FragmentedDirectoryAndFiles)
{
    if (std::ifstream(kImages + "/frag.skip")) {
        GTEST_SKIP() << ReadLines(kImages + "/frag.skip").front();
    }
    Plugin plugin(kPlugin);
    auto scan = ScanImage(plugin, "frag");
    ASSERT_EQ(scan->openStatus, 0);
    ASSERT_TRUE(scan->sink.files.count("/spread"));
    EXPECT_GT(scan->sink.files.at("/spread").size(), 1u);
    EXPECT_GT(scan->sink.files.at("/big1.bin").size(), 4u);
}

// filefrag reads the extents through the kernel (FIEMAP), not libext2fs.
TEST(Ext4Walk, AgreesWithFilefragOnALoopMount)
{
    if (std::ifstream(kImages + "/frag.skip")) {
        GTEST_SKIP() << ReadLines(kImages + "/frag.skip").front();
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a loop mount needs root";
    }
    const std::string mountPoint = kImages + "/mnt-filefrag";
    RunCommand("mkdir -p " + Quote(mountPoint));
    int status = 0;
    RunCommand("mount -o ro,loop " + Quote(Image("frag")) + " " + Quote(mountPoint) + " 2>&1", &status);
    if (status != 0) {
        GTEST_SKIP() << "loop mount failed (no loop device?)";
    }
    const auto paths = ReadLines(kImages + "/frag.files");
    std::string command = "cd " + Quote(mountPoint) + " && filefrag -v";
    for (const auto& path : paths)
        command += " " + Quote("." + path);
    std::istringstream output(RunCommand(command + " 2>&1"));
    RunCommand("umount " + Quote(mountPoint));

    std::map<std::string, std::vector<Span>> oracle;
    std::string current;
    for (std::string line; std::getline(output, line);) {
        if (line.rfind("File size of .", 0) == 0) {
            current = line.substr(14, line.find(" is ") - 14);
            oracle[current];
            continue;
        }
        int64_t index, l0, l1, p0, p1, length;
        if (std::sscanf(line.c_str(), " %ld: %ld.. %ld: %ld.. %ld: %ld:", &index, &l0, &l1, &p0, &p1, &length) == 6)
            AddSpan(oracle[current], p0, length);
    }
    Plugin plugin(kPlugin);
    auto scan = ScanImage(plugin, "frag");
    ASSERT_EQ(scan->openStatus, 0);
    ASSERT_EQ(oracle.size(), paths.size());
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(scan->sink.files.count(path));
        EXPECT_EQ(scan->sink.files.at(path), oracle.at(path));
    }
}

// The damaged-image table: a clear status, or the walk ends and says what it met.
struct Damage {
    const char* image;
    int openStatus;
    const char* reportWord; // null: no report expected
};

class Ext4Damage : public ::testing::TestWithParam<Damage> {};

TEST_P(Ext4Damage, ClearStatusOrReport)
{
    const Damage damage = GetParam();
    const auto before = ReadBytes(Image(damage.image));
    Plugin plugin(kPlugin);
    auto scan = ScanImage(plugin, damage.image);
    EXPECT_EQ(scan->openStatus, damage.openStatus);
    if (damage.openStatus == 0) {
        EXPECT_EQ(scan->sink.endCalls, 1);
        for (const auto& [path, count] : scan->sink.seen)
            EXPECT_EQ(count, 1) << path;
        if (damage.reportWord != nullptr) {
            EXPECT_TRUE(scan->log.Mentions(damage.reportWord)) << scan->log.All();
        }
        std::vector<uint8_t> chunk(8192);
        plugin.volume->ReadBitmap(0, 65536, chunk.data());
    } else {
        EXPECT_EQ(plugin.volume->GetDetails(), nullptr);
    }
    plugin.volume->Close();
    EXPECT_EQ(ReadBytes(Image(damage.image)), before);
}

INSTANTIATE_TEST_SUITE_P(
    Images, Ext4Damage,
    ::testing::Values(Damage{"zerosuper", platform::status::kUnrecognizedVolume, nullptr},
                      Damage{"garbage", platform::status::kUnrecognizedVolume, nullptr},
                      Damage{"truncated", platform::status::kFileCorrupt, nullptr},
                      Damage{"zerogroups", platform::status::kFileCorrupt, nullptr},
                      Damage{"dirloop", 0, "more than one directory"}, Damage{"crosslink", 0, "cross-linked"},
                      Damage{"badextent", 0, "extent"}, Damage{"badrecord", 0, "failed its checks"}),
    [](const auto& info) { return std::string(info.param.image); });

TEST(Ext4Volume, OpenStatusesAndTheClosedVolume)
{
    Plugin plugin(kPlugin);
    IVolume* volume = plugin.volume;
    EXPECT_EQ(std::u16string(volume->GetFileSystemName()), u"ext4");
    EXPECT_EQ(volume->Open(u"\\\\.\\Y:"), platform::status::kInvalidDrive);
    EXPECT_EQ(volume->GetDetails(), nullptr);
    uint8_t chunk[16] = {};
    EXPECT_EQ(volume->ReadBitmap(0, 64, chunk), 0);
    RecordingSink sink;
    RecordingLog log;
    volume->EnumerateFiles(&sink, &log, nullptr);
    EXPECT_EQ(sink.beginCalls, 1) << "the engine is reset even for a volume that is not open";
    EXPECT_EQ(sink.interrupted, 1);
    EXPECT_EQ(sink.calls, 0);
    volume->Close();
    volume->Close();

    ASSERT_EQ(volume->Open(DevicePath("small1k").c_str()), 0);
    const std::u16string details = volume->GetDetails();
    const std::string text = platform::ToUtf8(details);
    EXPECT_EQ(text.rfind(std::string("Volume: ") + LetterOf("small1k") + ":\\\nVolume name: small\n", 0), 0u) << text;
    EXPECT_NE(text.find("Type: ext4\nSize: 0.02 GB\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Block groups: 2\n"), std::string::npos) << text;
    EXPECT_EQ(details.back(), u'\n');
    // Block 0 of a 1 KiB-block volume lies outside the bitmap and counts as in use.
    ASSERT_NE(volume->ReadBitmap(0, 8, chunk), 0);
    EXPECT_EQ(chunk[0] & 1, 1);
    volume->Close();
    volume->Close();
    EXPECT_EQ(volume->GetDetails(), nullptr);
}

TEST(Ext4Volume, StopsWhenTheEngineSaysSo)
{
    Plugin plugin(kPlugin);
    ASSERT_EQ(plugin.volume->Open(DevicePath("basic").c_str()), 0);
    RecordingSink sink;
    sink.stopAfter = 3;
    RecordingLog log;
    plugin.volume->EnumerateFiles(&sink, &log, nullptr);
    EXPECT_EQ(sink.calls, 3);
    EXPECT_EQ(sink.filesScanned, 3);
    EXPECT_EQ(sink.interrupted, 1);
    EXPECT_EQ(sink.endCalls, 1);
}

TEST(Ext4Volume, ImageFactsForTheVolumeTable)
{
    platform::Library library;
    ASSERT_TRUE(library.Load(platform::ToUtf16(kPlugin.substr(0, kPlugin.size() - 3))));
    auto read = library.Function<ReadImageFactsFn>("ReadImageFacts");
    ASSERT_NE(read, nullptr);
    VelkImageFacts facts{};
    ASSERT_EQ(read(Image("basic").c_str(), &facts), 0);
    const Dumpe2fs d = ReadDumpe2fs(Image("basic"));
    EXPECT_EQ(facts.totalBytes, static_cast<uint64_t>(d.blockCount) * 4096);
    EXPECT_EQ(facts.freeBytes, static_cast<uint64_t>(d.freeBlocks) * 4096);
    EXPECT_EQ(std::u16string(facts.label), u"basic");
    const std::string uuid = RunCommand("blkid -s UUID -o value " + Quote(Image("basic")));
    EXPECT_EQ(facts.serial, std::stoul(uuid.substr(0, 8), nullptr, 16));
    EXPECT_EQ(read(Image("garbage").c_str(), &facts), platform::status::kUnrecognizedVolume);
    EXPECT_EQ(read((kImages + "/no-such.img").c_str(), &facts), platform::status::kFileNotFound);
}

// Random damage to the metadata of a real volume, read from memory: whatever
// the bytes say, the reader ends with a status or a walk, never a crash or a
// read outside the image (ASan/UBSan builds check the latter).
TEST(Ext4Reader, SurvivesRandomMetadataDamage)
{
    const auto pristine = ReadBytes(Image("plain"));
    ASSERT_GT(pristine.size(), 2u << 20);
    std::mt19937 random(4);
    struct NullSink final : fsm::ext4::WalkSink {
        bool OnFile(int, const std::u16string&, const std::vector<fsm::ext4::Run>&) override { return true; }
        void OnDamage(const void*, std::size_t, const std::u16string&) override {}
    } sink;
    for (int round = 0; round < 120; ++round) {
        auto bytes = pristine;
        const int flips = 1 + static_cast<int>(random() % 64);
        for (int i = 0; i < flips; ++i)
            bytes[1024 + random() % (2u << 20)] = static_cast<uint8_t>(random());
        fsm::ext4::Ext4Reader reader;
        if (reader.Open(fsm::MakeMemorySource(std::move(bytes))) != 0)
            continue;
        reader.Walk(sink);
        std::vector<uint8_t> chunk(8192);
        reader.ReadBitmap(0, 65536, chunk.data());
    }
}
