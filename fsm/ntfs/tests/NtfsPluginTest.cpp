// fsm0 against the peer tools: ntfsinfo for runlists and counts, ntfscat for
// $Bitmap, on images made by mkntfs and filled through ntfs-3g.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "../NtfsReader.h"
#include "common/ImageFacts.h"
#include "fsm/ext4/tests/PluginHarness.h"
#include "platform/Status.h"

using namespace fsmtest;

namespace {

const std::string kImages = VELK_NTFS_IMAGES;
const std::string kPlugin = VELK_FSM0_PATH;

std::string Image(const std::string& name) { return kImages + "/" + name + ".img"; }

const std::vector<std::string> kLettered = {"basic", "frag", "zeroboot", "truncated", "garbage", "badrecord",
                                            "badrunlist", "crosslink", "parentloop"};

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

std::string SkipReason(const std::string& name)
{
    if (std::ifstream(kImages + "/" + name + ".skip"))
        return ReadLines(kImages + "/" + name + ".skip").front();
    if (!std::ifstream(Image(name)))
        return "image " + name + " was not made";
    return {};
}

#define REQUIRE_IMAGE(name)                                                                                            \
    do {                                                                                                               \
        if (std::string reason = SkipReason(name); !reason.empty()) {                                                  \
            GTEST_SKIP() << reason;                                                                                    \
        }                                                                                                              \
    } while (0)

uint64_t Hex(const std::string& text) { return std::stoull(text, nullptr, 16); }

// The unnamed $DATA runs ntfsinfo reports for a path (or "-i N"), holes left out.
std::vector<Span> NtfsinfoRuns(const std::string& image, const std::string& target)
{
    std::istringstream output(RunCommand("ntfsinfo -v " + target + " " + Quote(image) + " 2>/dev/null"));
    std::vector<Span> spans;
    bool inData = false;
    bool unnamed = false;
    for (std::string line; std::getline(output, line);) {
        if (line.rfind("Dumping attribute ", 0) == 0) {
            inData = line.rfind("Dumping attribute $DATA ", 0) == 0;
            unnamed = false;
            continue;
        }
        if (inData && line.rfind("\tName length:", 0) == 0)
            unnamed = line.find(" 0 (0x0)") != std::string::npos;
        if (!inData || !unnamed || line.rfind("\t\t\t0x", 0) != 0)
            continue;
        std::istringstream fields(line);
        std::string vcn, lcn, length;
        fields >> vcn >> lcn >> length;
        if (lcn.rfind("0x", 0) == 0)
            AddSpan(spans, static_cast<int64_t>(Hex(lcn)), static_cast<int64_t>(Hex(length)));
    }
    return spans;
}

std::string PathTarget(const std::string& path) { return "-F " + Quote(path); }

uint64_t RecordOf(const std::string& image, const std::string& path)
{
    const std::string out = RunCommand("ntfsinfo -F " + Quote(path) + " " + Quote(image) + " 2>/dev/null");
    const auto at = out.find("Dumping Inode ");
    return at == std::string::npos ? 0 : std::stoull(out.substr(at + 14));
}

struct VolumeCounts {
    int64_t clusters = 0;
    int64_t freeClusters = 0;
};

VolumeCounts NtfsinfoCounts(const std::string& image)
{
    VolumeCounts c;
    std::istringstream output(RunCommand("ntfsinfo -m " + Quote(image) + " 2>/dev/null"));
    for (std::string line; std::getline(output, line);) {
        if (auto at = line.find("Volume Size in Clusters: "); at != std::string::npos)
            c.clusters = std::stoll(line.substr(at + 25));
        if (auto at = line.find("Free Clusters: "); at != std::string::npos)
            c.freeClusters = std::stoll(line.substr(at + 15));
    }
    return c;
}

uint16_t Get16(const std::vector<uint8_t>& b, std::size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t Get32(const std::vector<uint8_t>& b, std::size_t at) { return Get16(b, at) | (uint32_t{Get16(b, at + 2)} << 16); }

// Where MFT record `number` lies in the image, from the runs of $MFT.
std::size_t RecordOffset(const std::string& image, uint64_t number)
{
    const auto runs = NtfsinfoRuns(image, "-i 0");
    const uint64_t cluster = 4096;
    uint64_t vcn = number * 1024 / cluster;
    for (const auto& run : runs) {
        if (vcn < static_cast<uint64_t>(run.length))
            return static_cast<std::size_t>((run.first + vcn) * cluster + number * 1024 % cluster);
        vcn -= static_cast<uint64_t>(run.length);
    }
    return 0;
}

// Offsets of the attributes of `type` in the record at `record`.
std::vector<std::size_t> Attributes(const std::vector<uint8_t>& b, std::size_t record, uint32_t type)
{
    std::vector<std::size_t> found;
    for (std::size_t at = record + Get16(b, record + 0x14); at < record + 1024;) {
        const uint32_t t = Get32(b, at);
        const uint32_t length = Get32(b, at + 4);
        if (t == 0xFFFFFFFF || length == 0)
            break;
        if (t == type)
            found.push_back(at);
        at += length;
    }
    return found;
}

// The damaged-image table, patched into copies of the basic image.
void MakeDamagedImages()
{
    const std::string basic = Image("basic");
    const auto pristine = ReadBytes(basic);
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) { WriteBytes(Image(name), bytes); };

    auto bytes = pristine;
    std::fill(bytes.begin(), bytes.begin() + 512, 0);
    write("zeroboot", bytes);
    write("truncated", std::vector<uint8_t>(pristine.begin(), pristine.begin() + (4 << 20)));
    std::mt19937 random(7);
    std::vector<uint8_t> garbage(1 << 20);
    for (auto& b : garbage)
        b = static_cast<uint8_t>(random());
    write("garbage", garbage);

    bytes = pristine;
    std::memcpy(&bytes[RecordOffset(basic, RecordOf(basic, "/docs/note-3.txt"))], "XXXX", 4);
    write("badrecord", bytes);

    bytes = pristine;
    {
        const std::size_t record = RecordOffset(basic, RecordOf(basic, "/big/file-7.dat"));
        const std::size_t data = Attributes(bytes, record, 0x80).at(0);
        bytes[data + Get16(bytes, data + 0x20)] = 0xFF; // a run header no decoder accepts
    }
    write("badrunlist", bytes);

    bytes = pristine;
    {
        // file-8 takes file-9's first cluster as its own.
        const std::size_t record = RecordOffset(basic, RecordOf(basic, "/big/file-8.dat"));
        const std::size_t data = Attributes(bytes, record, 0x80).at(0);
        const std::size_t pairs = data + Get16(bytes, data + 0x20);
        const int lengthBytes = bytes[pairs] & 0x0F;
        const int offsetBytes = bytes[pairs] >> 4;
        int64_t lcn = NtfsinfoRuns(basic, PathTarget("/big/file-9.dat")).at(0).first;
        for (int i = 0; i < offsetBytes; ++i, lcn >>= 8)
            bytes[pairs + 1 + static_cast<std::size_t>(lengthBytes) + static_cast<std::size_t>(i)] =
                static_cast<uint8_t>(lcn & 0xFF);
    }
    write("crosslink", bytes);

    bytes = pristine;
    {
        // /docs/deep names its own child as its parent.
        const uint64_t deep = RecordOf(basic, "/docs/deep");
        const uint64_t er = RecordOf(basic, "/docs/deep/er");
        const std::size_t erRecord = RecordOffset(basic, er);
        const uint64_t ref = er | (uint64_t{Get16(bytes, erRecord + 0x10)} << 48);
        const std::size_t record = RecordOffset(basic, deep);
        for (std::size_t attr : Attributes(bytes, record, 0x30)) {
            const std::size_t value = attr + Get16(bytes, attr + 0x14);
            for (int i = 0; i < 8; ++i)
                bytes[value + static_cast<std::size_t>(i)] = static_cast<uint8_t>(ref >> (8 * i));
        }
    }
    write("parentloop", bytes);
}

class NtfsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (SkipReason("basic").empty())
            MakeDamagedImages();
        std::vector<std::pair<char, std::string>> drives;
        for (const auto& name : kLettered)
            drives.emplace_back(LetterOf(name), Image(name));
        static std::string table = WriteVolumeTable(kImages + "/volumes.tsv", drives, "NTFS");
        ::setenv("VELKLEVEL2_VOLUME_TABLE", table.c_str(), 1);
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new NtfsEnvironment);

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

int64_t Clusters(const std::vector<Span>& spans)
{
    int64_t total = 0;
    for (const auto& s : spans)
        total += s.length;
    return total;
}

} // namespace

// Every image: runs of every regular file as ntfsinfo reads them, the counts
// as ntfsinfo has them, the bitmap as $Bitmap holds it, every file once, and
// not a byte of the image changed.
class NtfsOracle : public ::testing::TestWithParam<std::string> {};

TEST_P(NtfsOracle, AgreesWithNtfsinfo)
{
    const std::string name = GetParam();
    REQUIRE_IMAGE(name);
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

    const VolumeCounts counts = NtfsinfoCounts(Image(name));
    EXPECT_EQ(sink.clusterSize, 4096u);
    EXPECT_EQ(sink.totalClusters, counts.clusters);
    EXPECT_EQ(sink.clustersInUse, counts.clusters - counts.freeClusters);

    const auto bitmap = ReadBytes(kImages + "/" + name + ".bitmap");
    ASSERT_GE(static_cast<int64_t>(bitmap.size()) * 8, counts.clusters);
    std::vector<uint8_t> chunk(8192);
    for (int64_t first = 0; first < counts.clusters + 100; first += 65536 - 5) {
        std::fill(chunk.begin(), chunk.end(), 0xFF);
        const uint32_t count = 65536 - 5;
        ASSERT_NE(plugin.volume->ReadBitmap(first, count, chunk.data()), 0);
        for (uint32_t i = 0; i < count; ++i) {
            const int64_t c = first + i;
            const bool want = c < counts.clusters && ((bitmap[static_cast<std::size_t>(c / 8)] >> (c % 8)) & 1);
            ASSERT_EQ(((chunk[i / 8] >> (i % 8)) & 1) != 0, want) << "cluster " << c;
        }
    }
    EXPECT_EQ(plugin.volume->ReadBitmap(0, 65537, chunk.data()), 0);

    for (const auto& path : ReadLines(kImages + "/" + name + ".files")) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(sink.files.count(path)) << "missing from the walk";
        EXPECT_EQ(sink.files.at(path), NtfsinfoRuns(Image(name), PathTarget(path)));
    }
    for (const auto& [path, count] : sink.seen)
        EXPECT_EQ(count, 1) << path << " delivered more than once";
    for (std::size_t i = 1; i < sink.percents.size(); ++i)
        ASSERT_LE(sink.percents[i - 1], sink.percents[i]);
    EXPECT_LE(sink.percents.back(), 100);
    plugin.volume->Close();
    EXPECT_EQ(ReadBytes(Image(name)), before) << "the scan changed the image";
}

INSTANTIATE_TEST_SUITE_P(Images, NtfsOracle, ::testing::Values("basic", "frag"));

TEST(NtfsWalk, DeliversTheTreeAsDesigned)
{
    REQUIRE_IMAGE("basic");
    Plugin plugin(kPlugin);
    auto scan = ScanImage(plugin, "basic");
    ASSERT_EQ(scan->openStatus, 0);
    const auto& files = scan->sink.files;
    EXPECT_EQ(files.count("/docs/original.txt") + files.count("/docs/hardlink.txt"), 1u);
    ASSERT_TRUE(files.count("/empty.txt"));
    EXPECT_TRUE(scan->sink.nullExtents.at("/empty.txt"));
    EXPECT_TRUE(files.count("/docs/naïve – 日本語.txt"));
    EXPECT_TRUE(scan->sink.nullExtents.at("/docs/note-1.txt")) << "resident data owns no clusters";
    ASSERT_TRUE(files.count("/"));
    EXPECT_FALSE(files.at("/").empty()) << "the root's index allocation";
    ASSERT_TRUE(files.count("/big"));
    EXPECT_FALSE(files.at("/big").empty());
    ASSERT_TRUE(files.count("/$MFT"));
    EXPECT_EQ(files.at("/$MFT"), NtfsinfoRuns(Image("basic"), "-i 0"));
    EXPECT_EQ(Clusters(files.at("/sparse.bin")), 4) << "holes are skipped";
    const auto packed = files.at("/packed/text-1.txt");
    EXPECT_LT(Clusters(packed), 44) << "a compressed file occupies fewer clusters than its size";
    EXPECT_EQ(packed, NtfsinfoRuns(Image("basic"), PathTarget("/packed/text-1.txt")));

    // The file with 121 names carries an attribute list; it comes once.
    int linkNames = 0;
    std::vector<Span> linked;
    for (const auto& [path, spans] : files)
        if (path.rfind("/links/", 0) == 0 && path != "/links/single.bin") {
            ++linkNames;
            linked = spans;
        }
    EXPECT_EQ(linkNames, 1);
    EXPECT_EQ(linked, NtfsinfoRuns(Image("basic"), PathTarget("/links/target.bin")));
}

TEST(NtfsWalk, FragmentedDirectoryAndFiles)
{
    REQUIRE_IMAGE("frag");
    Plugin plugin(kPlugin);
    auto scan = ScanImage(plugin, "frag");
    ASSERT_EQ(scan->openStatus, 0);
    ASSERT_TRUE(scan->sink.files.count("/spread"));
    EXPECT_GT(scan->sink.files.at("/spread").size(), 1u);
    EXPECT_GT(scan->sink.files.at("/big1.bin").size(), 4u);
}

struct Damage {
    const char* image;
    int openStatus;
    const char* reportWord;
};

class NtfsDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(NtfsDamage, ClearStatusOrReport)
{
    REQUIRE_IMAGE("basic");
    const Damage damage = GetParam();
    const auto before = ReadBytes(Image(damage.image));
    Plugin plugin(kPlugin);
    auto scan = ScanImage(plugin, damage.image);
    EXPECT_EQ(scan->openStatus, damage.openStatus);
    if (damage.openStatus == 0) {
        EXPECT_EQ(scan->sink.endCalls, 1);
        EXPECT_GT(scan->sink.calls, 200) << "the walk goes on past the damage";
        for (const auto& [path, count] : scan->sink.seen)
            EXPECT_EQ(count, 1) << path;
        EXPECT_TRUE(scan->log.Mentions(damage.reportWord)) << scan->log.All();
    } else {
        EXPECT_EQ(plugin.volume->GetDetails(), nullptr);
    }
    plugin.volume->Close();
    EXPECT_EQ(ReadBytes(Image(damage.image)), before);
}

INSTANTIATE_TEST_SUITE_P(Images, NtfsDamage,
                         ::testing::Values(Damage{"zeroboot", platform::status::kUnrecognizedVolume, nullptr},
                                           Damage{"garbage", platform::status::kUnrecognizedVolume, nullptr},
                                           Damage{"truncated", platform::status::kFileCorrupt, nullptr},
                                           Damage{"badrecord", 0, "failed its checks"},
                                           Damage{"badrunlist", 0, "does not decode"},
                                           Damage{"crosslink", 0, "cross-linked"},
                                           Damage{"parentloop", 0, "parent chain breaks"}),
                         [](const auto& info) { return std::string(info.param.image); });

TEST(NtfsVolume, OpenStatusesAndTheClosedVolume)
{
    Plugin plugin(kPlugin);
    IVolume* volume = plugin.volume;
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(std::u16string(volume->GetFileSystemName()), u"NTFS");
    EXPECT_EQ(volume->Open(u"\\\\.\\Y:"), platform::status::kInvalidDrive);
    EXPECT_EQ(volume->GetDetails(), nullptr);
    uint8_t chunk[16] = {};
    EXPECT_EQ(volume->ReadBitmap(0, 64, chunk), 0);
    RecordingSink sink;
    RecordingLog log;
    volume->EnumerateFiles(&sink, &log, nullptr);
    EXPECT_EQ(sink.beginCalls, 1);
    EXPECT_EQ(sink.interrupted, 1);
    volume->Close();
    volume->Close();

    REQUIRE_IMAGE("basic");
    ASSERT_EQ(volume->Open(DevicePath("basic").c_str()), 0);
    const std::string text = platform::ToUtf8(volume->GetDetails());
    EXPECT_EQ(text.rfind(std::string("Volume: ") + LetterOf("basic") + ":\\\nVolume name: basic\n", 0), 0u) << text;
    EXPECT_NE(text.find("Type: NTFS\nSize: 0.02 GB\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MFT size: "), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');

    RecordingSink stopping;
    stopping.stopAfter = 3;
    volume->EnumerateFiles(&stopping, &log, nullptr);
    EXPECT_EQ(stopping.calls, 3);
    EXPECT_EQ(stopping.filesScanned, 3);
    EXPECT_EQ(stopping.interrupted, 1);
    volume->Close();
    volume->Close();
}

TEST(NtfsVolume, ImageFactsForTheVolumeTable)
{
    REQUIRE_IMAGE("basic");
    platform::Library library;
    ASSERT_TRUE(library.Load(platform::ToUtf16(kPlugin.substr(0, kPlugin.size() - 3))));
    auto read = library.Function<ReadImageFactsFn>("ReadImageFacts");
    ASSERT_NE(read, nullptr);
    VelkImageFacts facts{};
    ASSERT_EQ(read(Image("basic").c_str(), &facts), 0);
    const VolumeCounts counts = NtfsinfoCounts(Image("basic"));
    EXPECT_EQ(facts.totalBytes, static_cast<uint64_t>(counts.clusters) * 4096);
    EXPECT_EQ(facts.freeBytes, static_cast<uint64_t>(counts.freeClusters) * 4096);
    EXPECT_EQ(std::u16string(facts.label), u"basic");
    const std::string serial = RunCommand("blkid -s UUID -o value " + Quote(Image("basic")));
    EXPECT_EQ(facts.serial, std::stoul(serial.substr(8, 8), nullptr, 16)) << serial;
    EXPECT_EQ(read(Image("garbage").c_str(), &facts), platform::status::kUnrecognizedVolume);
}

// Random damage to the MFT of a real volume, read from memory: a status or a
// walk, never a crash or a read outside the image.
TEST(NtfsReader, SurvivesRandomMftDamage)
{
    REQUIRE_IMAGE("basic");
    const auto pristine = ReadBytes(Image("basic"));
    const std::size_t mft = RecordOffset(Image("basic"), 0);
    ASSERT_GT(mft, 0u);
    std::mt19937 random(11);
    struct NullSink final : fsm::ntfs::WalkSink {
        bool OnFile(int, const std::u16string&, const std::vector<fsm::ntfs::Run>&) override { return true; }
        void OnDamage(const void*, std::size_t, const std::u16string&) override {}
    } sink;
    for (int round = 0; round < 120; ++round) {
        auto bytes = pristine;
        const int flips = 1 + static_cast<int>(random() % 32);
        for (int i = 0; i < flips; ++i)
            bytes[mft + 16 * 1024 + random() % (400u << 10)] = static_cast<uint8_t>(random());
        fsm::ntfs::NtfsReader reader;
        if (reader.Open(fsm::MakeMemorySource(std::move(bytes))) != 0)
            continue;
        reader.Walk(sink);
        std::vector<uint8_t> chunk(8192);
        reader.ReadBitmap(0, 65536, chunk.data());
    }
}
