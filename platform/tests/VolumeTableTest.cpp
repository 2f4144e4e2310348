#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Settings.h"
#include "platform/Status.h"
#include "platform/VolumeTable.h"

namespace {

using namespace platform;

class VolumeTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velk-volumes-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        ::setenv("VELKLEVEL2_CONFIG_DIR", (m_dir + "/config").c_str(), 1);
        ::unsetenv("VELKLEVEL2_PROCESS_IMAGES");
    }
    void TearDown() override
    {
        ::unsetenv("VELKLEVEL2_VOLUME_TABLE");
        ::unsetenv("VELKLEVEL2_PROCESS_IMAGES");
        ::unsetenv("VELKLEVEL2_CONFIG_DIR");
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    std::string UseTable(const std::string& content)
    {
        const std::string path = m_dir + "/table.txt";
        std::ofstream(path, std::ios::binary) << content;
        ::setenv("VELKLEVEL2_VOLUME_TABLE", path.c_str(), 1);
        return path;
    }
    std::string WriteFile(const std::string& name, const std::string& content)
    {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    bool Run(const std::string& command) { return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0; }

    std::string m_dir;
};

constexpr const char* kTable = "# letter type fs label serial total free target\n"
                               "C\tfixed\tNTFS\tSystem\t1A2B3C4D\t80000000000\t29600000000\t/images/c.img\n"
                               "\n"
                               "E\tremovable\t-\t\t0\t-\t-\t\n"
                               "F\t4\tNetwork\tshare%09one\tDEADBEEF\t-\t-\t\n"
                               "Z\tcdrom\tCDFS\tDisc\t0\t0\t0\t/dev/sr0\n";

TEST_F(VolumeTableTest, TableFileReplacesTheMachine)
{
    UseTable(kTable);
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 4) | (1u << 5) | (1u << 25));

    struct {
        const char16_t* root;
        unsigned type;
    } types[] = {{u"C:\\", drive_type::kFixed},  {u"E:\\", drive_type::kRemovable}, {u"f:", drive_type::kRemote},
                 {u"Z:\\", drive_type::kCdrom}, {u"D:\\", drive_type::kNoRootDir}, {u"", drive_type::kNoRootDir}};
    for (const auto& t : types)
        EXPECT_EQ(GetDriveType(t.root), t.type) << t.type;

    std::u16string label, fs;
    uint32_t serial = 0;
    ASSERT_TRUE(GetVolumeInformation(u"C:\\", &label, &serial, &fs));
    EXPECT_EQ(label, u"System");
    EXPECT_EQ(serial, 0x1A2B3C4Du);
    EXPECT_EQ(fs, u"NTFS");
    ASSERT_TRUE(GetVolumeInformation(u"F:\\", &label, &serial, &fs));
    EXPECT_EQ(label, u"share\tone");
    EXPECT_FALSE(GetVolumeInformation(u"E:\\", &label, &serial, &fs)) << "an empty removable drive";
    EXPECT_FALSE(GetVolumeInformation(u"D:\\", &label, &serial, &fs));

    uint64_t freeBytes = 0, total = 0;
    ASSERT_TRUE(GetDiskFreeSpace(u"C:\\", &freeBytes, &total));
    EXPECT_EQ(total, 80000000000u);
    EXPECT_EQ(freeBytes, 29600000000u);
    EXPECT_FALSE(GetDiskFreeSpace(u"F:\\", &freeBytes, &total));
    ASSERT_TRUE(GetDiskFreeSpace(u"Z:\\", &freeBytes, &total));
    EXPECT_EQ(total, 0u);

    std::string target;
    EXPECT_EQ(ResolveDevicePath(u"\\\\.\\C:", &target), 0);
    EXPECT_EQ(target, "/images/c.img");
    EXPECT_EQ(ResolveDevicePath(u"\\\\.\\z:", &target), 0);
    EXPECT_EQ(target, "/dev/sr0");
    EXPECT_EQ(ResolveDevicePath(u"\\\\.\\F:", &target), status::kNotSupported) << "nothing to open";
    EXPECT_EQ(ResolveDevicePath(u"\\\\.\\D:", &target), status::kInvalidDrive);
    for (const char16_t* bad : {u"C:", u"\\\\.\\C", u"\\\\.\\C:\\", u"\\\\?\\C:", u"\\\\.\\1:", u""})
        EXPECT_EQ(ResolveDevicePath(bad, &target), status::kInvalidParameter);
}

TEST_F(VolumeTableTest, DamagedTableFileListsNothing)
{
    const std::string bad[] = {
        "C\tfixed\tNTFS\tSystem\t1A2B3C4D\t80000000000\t29600000000\n",            // seven fields
        "B\tfixed\tNTFS\tSystem\t1A2B3C4D\t1\t1\t\n",                               // letter B
        "C\tfloppy\tNTFS\tSystem\t1A2B3C4D\t1\t1\t\n",                              // unknown type
        "C\tfixed\tNTFS\tSystem\t1A2B3C4G\t1\t1\t\n",                               // serial not hex
        "C\tfixed\tNTFS\tSystem\t1A2B3C4D1\t1\t1\t\n",                              // serial too wide
        "C\tfixed\tNTFS\tSystem\t0\t99999999999999999999999\t1\t\n",                // total overflows
        "C\tfixed\tNTFS\tSystem\t0\t-\t1\t\n",                                      // half a failure
        "C\tfixed\tNTFS\tSys%2\t0\t1\t1\t\n",                                       // cut escape
        "C\tfixed\tNTFS\tA\t0\t1\t1\t\nC\tfixed\tNTFS\tB\t0\t1\t1\t\n",             // C twice
        std::string("\0\x01\x02\xff garbage", 12),
    };
    for (const std::string& content : bad) {
        UseTable(std::string(kTable) + content);
        EXPECT_EQ(GetLogicalDrives(), 0u) << content;
    }
    ::setenv("VELKLEVEL2_VOLUME_TABLE", (m_dir + "/does-not-exist").c_str(), 1);
    EXPECT_EQ(GetLogicalDrives(), 0u);
}

TEST_F(VolumeTableTest, ProcessImagesTakeTheLowestFreeLetters)
{
    UseTable(kTable);
    char16_t letter = 0;
    EXPECT_EQ(AttachImageForProcess(m_dir + "/missing.img", &letter), status::kFileNotFound);

    const std::string script = WriteFile("demo.vscript", "VelkScript 1\nlabel\tDemo disk\nserial\t0BADF00D\n"
                                                         "bytes\t1048576\t262144\nfile\t/a\t0+1\n");
    ASSERT_EQ(AttachImageForProcess(script, &letter), 0);
    EXPECT_EQ(letter, u'D');
    const std::string other = WriteFile("blank.img", std::string(4096, '\0'));
    ASSERT_EQ(AttachImageForProcess(other, &letter), 0);
    EXPECT_EQ(letter, u'G');
    ASSERT_EQ(AttachImageForProcess(script, &letter), 0) << "attaching twice keeps one letter";
    EXPECT_EQ(letter, u'D');

    std::u16string label, fs;
    uint32_t serial = 0;
    ASSERT_TRUE(GetVolumeInformation(u"D:\\", &label, &serial, &fs));
    EXPECT_EQ(fs, u"VelkScript");
    EXPECT_EQ(label, u"Demo disk");
    EXPECT_EQ(serial, 0x0BADF00Du);
    uint64_t freeBytes = 0, total = 0;
    ASSERT_TRUE(GetDiskFreeSpace(u"D:\\", &freeBytes, &total));
    EXPECT_EQ(total, 1048576u);
    EXPECT_EQ(freeBytes, 262144u);
    EXPECT_FALSE(GetVolumeInformation(u"G:\\", &label, &serial, &fs)) << "no file system in it";
    EXPECT_FALSE(GetDiskFreeSpace(u"G:\\", &freeBytes, &total));
    std::string target;
    ASSERT_EQ(ResolveDevicePath(u"\\\\.\\D:", &target), 0);
    EXPECT_EQ(target, script);
}

TEST_F(VolumeTableTest, ProbesFileSystemsAsWindowsNamesThem)
{
    struct Case {
        const char* make;
        std::u16string fs;
        std::u16string label;
        uint32_t serial;
    } cases[] = {
        {"truncate -s 4M {} && mkfs.fat -F 12 -n FLOPPY -i 1A2B3C4D {}", u"FAT", u"FLOPPY", 0x1A2B3C4D},
        {"truncate -s 40M {} && mkfs.fat -F 32 -n BIGFAT -i 0000BEEF {}", u"FAT32", u"BIGFAT", 0x0000BEEF},
        {"truncate -s 8M {} && mkfs.ext4 -q -F -L linux -U 12345678-9abc-def0-1234-56789abcdef0 {}", u"ext4", u"linux",
         0x12345678},
        {"truncate -s 8M {} && mkfs.exfat -L stick {} && tune.exfat -I 0x11223344 {}",
         u"exFAT", u"stick", 0x11223344},
        {"truncate -s 8M {} && mkfs.ntfs -q -F -f -L win {} && printf '\\210\\167\\146\\125\\104\\063\\042\\021' | "
         "dd of={} bs=1 seek=72 conv=notrunc",
         u"NTFS", u"win", 0x55667788},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = m_dir + "/fs" + std::to_string(n++) + ".img";
        std::string command = c.make;
        for (std::size_t at; (at = command.find("{}")) != std::string::npos;)
            command.replace(at, 2, path);
        if (!Run(command)) {
            ADD_FAILURE() << "could not build an image: " << command;
            continue;
        }
        char16_t letter = 0;
        ASSERT_EQ(AttachImageForProcess(path, &letter), 0);
        const std::u16string root = std::u16string(1, letter) + u":\\";
        std::u16string label, fs;
        uint32_t serial = 0;
        ASSERT_TRUE(GetVolumeInformation(root, &label, &serial, &fs)) << command;
        EXPECT_EQ(fs, c.fs) << command;
        EXPECT_EQ(label, c.label) << command;
        EXPECT_EQ(serial, c.serial) << command;
        EXPECT_EQ(GetDriveType(root), drive_type::kFixed);
    }
}

TEST_F(VolumeTableTest, AttachedImagesKeepTheirLetters)
{
    // The machine's own mounts take part here; only the stability is checked.
    const std::string first = WriteFile("one.vscript", "VelkScript 1\nlabel\tOne\n");
    const std::string second = WriteFile("two.vscript", "VelkScript 1\nlabel\tTwo\n");
    char16_t a = 0, b = 0;
    EXPECT_EQ(AttachImage(m_dir + "/none.img", &a), status::kFileNotFound);
    ASSERT_EQ(AttachImage(first, &a), 0);
    ASSERT_EQ(AttachImage(second, &b), 0);
    EXPECT_NE(a, b);

    // With the first one gone, its letter is still kept for it.
    ASSERT_EQ(DetachImage(first), 0);
    GetLogicalDrives();
    const std::string third = WriteFile("three.vscript", "VelkScript 1\nlabel\tThree\n");
    char16_t c = 0;
    ASSERT_EQ(AttachImage(third, &c), 0);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    char16_t again = 0;
    ASSERT_EQ(AttachImage(first, &again), 0);
    EXPECT_EQ(again, a);
    char16_t secondAgain = 0;
    ASSERT_EQ(AttachImage(second, &secondAgain), 0);
    EXPECT_EQ(secondAgain, b);
    EXPECT_EQ(DetachImage(m_dir + "/none.img"), status::kFileNotFound);
}

TEST_F(VolumeTableTest, MachineMountsAreListed)
{
    // Whatever this machine mounts: every drive listed answers consistently.
    const uint32_t mask = GetLogicalDrives();
    EXPECT_EQ(mask & 3u, 0u);
    for (const VolumeEntry& e : GetVolumeTable()) {
        EXPECT_TRUE(mask & (1u << (e.letter - u'A')));
        const std::u16string root = std::u16string(1, e.letter) + u":\\";
        EXPECT_EQ(GetDriveType(root), e.type);
        std::u16string fs;
        if (e.type != drive_type::kRemote) {
            EXPECT_FALSE(e.target.empty());
        } else if (GetVolumeInformation(root, nullptr, nullptr, &fs)) {
            EXPECT_EQ(fs, u"Network");
        }
    }
}

} // namespace
