// mountx as a front end sees it: loaded by path, bound by name, over a volume
// table file and copies of the scripted plug-in.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "VolumeAccess.h"
#include "platform/Library.h"
#include "platform/Utf.h"

namespace {

std::string U8(const char16_t* text) { return text ? platform::ToUtf8(text) : std::string("(null)"); }

// `text` is `prefix`, a fourteen-digit timestamp and `suffix`.
bool Stamped(const std::string& text, const std::string& prefix, const std::string& suffix)
{
    if (text.size() != prefix.size() + 14 + suffix.size() || text.rfind(prefix, 0) != 0 ||
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    return text.find_first_not_of("0123456789", prefix.size()) == text.size() - suffix.size();
}

class Mountx : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velk-mountx-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        ::setenv("VELKLEVEL2_CONFIG_DIR", (m_dir + "/config").c_str(), 1);
        ASSERT_TRUE(m_library.Load(platform::ToUtf16(MOUNTX_PATH))) << m_library.Error();
        m_create = m_library.Function<CreateVolumeAccessFn>("CreateVolumeAccess");
        m_free = m_library.Function<FreeVolumeAccessFn>("FreeVolumeAccess");
        ASSERT_TRUE(m_create && m_free);
    }
    void TearDown() override
    {
        for (int n = 0; n <= 5; ++n)
            ::unsetenv(("VELKSCRIPT_FS_NAME_fsm" + std::to_string(n)).c_str());
        ::unsetenv("VELKLEVEL2_VOLUME_TABLE");
        ::unsetenv("VELKLEVEL2_CONFIG_DIR");
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    void Write(const std::string& name, const std::string& text) { std::ofstream(m_dir + "/" + name) << text; }
    void UseTable(const std::string& rows)
    {
        Write("table.txt", rows);
        ::setenv("VELKLEVEL2_VOLUME_TABLE", (m_dir + "/table.txt").c_str(), 1);
    }
    // A plug-in folder holding the scripted plug-in as fsmN for each N named,
    // reporting the given file-system name.
    std::u16string Plugins(std::initializer_list<std::pair<int, const char*>> plugins)
    {
        const std::string folder = m_dir + "/plugins";
        std::system(("mkdir -p '" + folder + "'").c_str());
        for (const auto& [number, name] : plugins) {
            const std::string file = "fsm" + std::to_string(number);
            std::system(("cp '" SCRIPTED_PLUGIN_PATH "' '" + folder + "/" + file + ".so'").c_str());
            ::setenv(("VELKSCRIPT_FS_NAME_" + file).c_str(), name, 1);
        }
        return platform::ToUtf16(folder);
    }

    struct AccessDeleter {
        FreeVolumeAccessFn free;
        void operator()(VolumeAccess* access) const { free(&access); }
    };
    using Access = std::unique_ptr<VolumeAccess, AccessDeleter>;
    Access Create(unsigned mask, const std::u16string& folder)
    {
        VolumeAccess* access = nullptr;
        m_create(&access, mask, folder.c_str());
        EXPECT_NE(access, nullptr);
        return Access(access, AccessDeleter{m_free});
    }
    std::string Letters(VolumeAccess& access)
    {
        std::string letters;
        for (int i = 0; i < access.GetVolumeCount(); ++i)
            letters += U8(access.GetVolumeCaption(static_cast<unsigned>(i))).substr(0, 1);
        return letters;
    }

    std::string m_dir;
    platform::Library m_library;
    CreateVolumeAccessFn m_create = nullptr;
    FreeVolumeAccessFn m_free = nullptr;
};

TEST_F(Mountx, ListsAndDescribesTheDrives)
{
    Write("c.txt", "VelkScript 1\nfile\t/a\t0+1\n");
    Write("fails.txt", "VelkScript 1\nopen-status\t21\n");
    UseTable("C\tfixed\tNTFS\tSystem\t1A2B3C4D\t80000000000\t29600000000\t" + m_dir + "/c.txt\n"
             "D\tremovable\tFAT32\tSTICK\t00001234\t1073741824\t6442451\t" + m_dir + "/fails.txt\n"
             "E\tremote\tnfs\tshare\t0\t-\t-\t\n"
             "F\tfixed\tXFS\tdata\t0\t100\t50\t\n"            // no plug-in serves it
             "G\tfixed\t-\t\t0\t100\t50\t\n"                  // no volume information
             "H\tfixed\tFAT\tEMPTY\t0\t0\t0\t\n"              // no bytes at all
             "I\tfixed\tFAT\tLOST\t0\t-\t-\t" + m_dir + "/gone.txt\n" // free space unknown
             "J\tcdrom\tNTFS\tDISC\t0\t100\t0\t\n"            // not in the masks used
             "K\t0\tNTFS\tODD\t0\t100\t0\t\n");
    // fsm5 repeats fsm0's name: the first one loaded serves the volumes.
    const auto folder = Plugins({{0, "NTFS"}, {1, "FAT32"}, {2, "FAT"}, {3, "Network"}, {5, "NTFS"}});

    Access access = Create(28, folder);
    ASSERT_EQ(Letters(*access), "CDEHI");
    const struct {
        const char* description;
        const char* caption;
    } expected[] = {
        {"C:\\ 74.51GB System [NTFS]", "C:\\ 74.51GB; 37% free"},
        {"D:\\ 1.00GB STICK [FAT32]", "D:\\ 1.00GB; 1% free"},
        {"E:\\ 17179869184.00GB share [Network]", "E:\\ 17179869184.00GB; 30% free"},
        {"[FAT]", "H:\\ 0.00GB; 0% free"},
        {"I:\\ 17179869184.00GB LOST [FAT]", "I:\\ 17179869184.00GB; 30% free"},
    };
    for (unsigned i = 0; i < 5; ++i) {
        EXPECT_EQ(U8(access->GetVolumeDescription(i)), expected[i].description);
        EXPECT_EQ(U8(access->GetVolumeCaption(i)), expected[i].caption);
    }
    EXPECT_EQ(U8(access->GetVolumeDetails(0)),
              "Volume: C:\\\nVolume name: System\nSerial number: 1A2B3C4D\nType: NTFS\nSize: 74.51 GB\n");
    EXPECT_TRUE(Stamped(U8(access->GetDumpFileName(0)), "Vlm-C-System-1A2B3C4D-", ".txt"));
    EXPECT_TRUE(Stamped(U8(access->GetSummaryFileName(1)), "ombrix.sum.D-", ".txt"));

    int status = -1;
    IVolume* volume = access->OpenVolume(0, &status);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(U8(volume->GetDetails()), "Scripted volume served by fsm0");
    // Opening fails, yet the volume object comes back with the plug-in's status.
    EXPECT_NE(access->OpenVolume(1, &status), nullptr);
    EXPECT_EQ(status, 21);
    EXPECT_NE(access->OpenVolume(4, &status), nullptr);
    EXPECT_EQ(status, 2);
    EXPECT_NE(access->OpenVolume(2, nullptr), nullptr) << "a null status is not written";

    Access fixedOnly = Create(8, folder);
    EXPECT_EQ(Letters(*fixedOnly), "CHI");
    Access typeZero = Create(1, folder);
    EXPECT_EQ(Letters(*typeZero), "K");
}

TEST_F(Mountx, IndexOutOfRangeAndSharedBuffers)
{
    UseTable("C\tfixed\tNTFS\tSystem\t1A2B3C4D\t80000000000\t29600000000\t\n"
             "D\tfixed\tNTFS\tData\t0000BEEF\t1073741824\t0\t\n");
    const auto folder = Plugins({{0, "NTFS"}});
    Access access = Create(8, folder);
    ASSERT_EQ(access->GetVolumeCount(), 2);

    // Every text operation empties the object's buffer first.
    const char16_t* description = access->GetVolumeDescription(0);
    EXPECT_EQ(U8(description), "C:\\ 74.51GB System [NTFS]");
    const char16_t* caption = access->GetVolumeCaption(1);
    EXPECT_EQ(caption, description) << "description and caption share one buffer";
    access->GetDumpFileName(0);
    EXPECT_EQ(U8(caption), "");
    EXPECT_EQ(U8(access->GetVolumeDescription(0)), "C:\\ 74.51GB System [NTFS]");
    access->GetVolumeDetails(7);
    EXPECT_EQ(U8(description), "");

    for (unsigned index : {2u, 3u, 0xFFFFFFFFu}) {
        EXPECT_EQ(U8(access->GetVolumeDescription(index)), "");
        EXPECT_EQ(U8(access->GetVolumeCaption(index)), "");
        EXPECT_EQ(U8(access->GetVolumeDetails(index)), "");
        EXPECT_EQ(U8(access->GetDumpFileName(index)), "");
        EXPECT_EQ(U8(access->GetSummaryFileName(index)), "");
        int status = 1234;
        EXPECT_EQ(access->OpenVolume(index, &status), nullptr);
        EXPECT_EQ(status, 1234);
        access->RefreshFreeSpace(index);
    }

    // Dump name, summary name and details have one buffer each for the process.
    Access other = Create(8, folder);
    const char16_t* dump = access->GetDumpFileName(0);
    const char16_t* details = access->GetVolumeDetails(0);
    EXPECT_EQ(other->GetDumpFileName(1), dump);
    EXPECT_EQ(U8(dump).substr(0, 20), "Vlm-D-Data-0000BEEF-");
    EXPECT_EQ(other->GetVolumeDetails(1), details);
    EXPECT_EQ(U8(details).substr(0, 12), "Volume: D:\\\n");
    EXPECT_EQ(other->GetSummaryFileName(0), access->GetSummaryFileName(1));
}

TEST_F(Mountx, RefreshFreeSpace)
{
    const std::string row = "C\tfixed\tNTFS\tSystem\t1A2B3C4D\t80000000000\t";
    UseTable(row + "29600000000\t\n");
    Access access = Create(8, Plugins({{0, "NTFS"}}));
    EXPECT_EQ(U8(access->GetVolumeCaption(0)), "C:\\ 74.51GB; 37% free");
    UseTable(row + "79999999999\t\n");
    access->RefreshFreeSpace(0);
    EXPECT_EQ(U8(access->GetVolumeCaption(0)), "C:\\ 74.51GB; 99% free");
    UseTable("C\tfixed\tNTFS\tSystem\t1A2B3C4D\t-\t-\t\n");
    access->RefreshFreeSpace(0);
    EXPECT_EQ(U8(access->GetVolumeCaption(0)), "C:\\ 74.51GB; 30% free") << "the size stays";
}

TEST_F(Mountx, SkipsPluginsThatCannotServe)
{
    UseTable("C\tfixed\tNTFS\tSystem\t0\t100\t50\t\n"
             "D\tfixed\tFAT32\tData\t0\t100\t50\t\n");
    const std::string folder = m_dir + "/plugins";
    std::system(("mkdir -p '" + folder + "'").c_str());
    Write("plugins/fsm0.so", "this is not a shared library\n");
    std::system(("cp '" TEST_PLUGIN_DIR "/test_plugin_noexports.so' '" + folder + "/fsm1.so'").c_str());
    std::system(("cp '" TEST_PLUGIN_DIR "/test_plugin_createonly.so' '" + folder + "/fsm2.so'").c_str());
    std::system(("cp '" TEST_PLUGIN_DIR "/test_plugin_nullvolume.so' '" + folder + "/fsm3.so'").c_str());
    Access none = Create(8, platform::ToUtf16(folder));
    EXPECT_EQ(none->GetVolumeCount(), 0);

    Plugins({{5, "FAT32"}});
    Access one = Create(8, platform::ToUtf16(folder));
    EXPECT_EQ(Letters(*one), "D");

    Access missing = Create(8, platform::ToUtf16(m_dir + "/no-such-folder"));
    EXPECT_EQ(missing->GetVolumeCount(), 0);
}

TEST_F(Mountx, GarbageTableListsNothing)
{
    UseTable(std::string("C\tfixed\tNTFS\tSystem\t0\t100\t50\t\n\x01\x02 garbage\tline\n"));
    Access access = Create(28, Plugins({{0, "NTFS"}}));
    EXPECT_EQ(access->GetVolumeCount(), 0);
    EXPECT_EQ(U8(access->GetVolumeDescription(0)), "");
}

TEST_F(Mountx, ExportsIgnoreNulls)
{
    m_create(nullptr, 28, nullptr);
    m_free(nullptr);
    VolumeAccess* access = nullptr;
    m_free(&access);
    UseTable("");
    m_create(&access, 28, nullptr);
    ASSERT_NE(access, nullptr);
    m_free(&access);
    EXPECT_EQ(access, nullptr);
    m_free(&access);
}

// Runs twice: as this system (0, 1, 2, 3, 5) and with the version word of the
// legacy family (1, 2, 4; remote drives never listed).
TEST_F(Mountx, PluginNumbersFollowThePlatform)
{
    UseTable("C\tfixed\tFS0\t\t0\t100\t50\t\n"
             "D\tfixed\tFS1\t\t0\t100\t50\t\n"
             "E\tfixed\tFS3\t\t0\t100\t50\t\n"
             "F\tfixed\tFS4\t\t0\t100\t50\t\n"
             "G\tfixed\tFS5\t\t0\t100\t50\t\n"
             "H\tremote\tcifs\tshare\t0\t100\t50\t\n");
    const auto folder =
        Plugins({{0, "FS0"}, {1, "FS1"}, {2, "Network"}, {3, "FS3"}, {4, "FS4"}, {5, "FS5"}});
    Access access = Create(28, folder);
    const char* word = std::getenv("VELKLEVEL2_VERSION_WORD");
    const bool legacy = word && std::string(word) == "0x5F04";
    EXPECT_EQ(Letters(*access), legacy ? "DF" : "CDEGH");
}

} // namespace
