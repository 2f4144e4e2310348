#include <gtest/gtest.h>

#include <cmath>

#include "PercentFree.h"
#include "PluginSet.h"
#include "VolumeTexts.h"

namespace {

using namespace mountx;

VolumeRecord Example()
{
    VolumeRecord v;
    v.driveLetter = u'C';
    v.fileSystemName = u"NTFS";
    v.size = std::ldexp(80000000000.0, -30);
    v.serialNumber = 0x1A2B3C4D;
    v.label = u"System";
    v.pluginIndex = 0;
    v.percentFree = 37;
    return v;
}

TEST(VolumeTexts, FollowTheExample)
{
    const VolumeRecord v = Example();
    EXPECT_EQ(VolumeDescription(v), u"C:\\ 74.51GB System [NTFS]");
    EXPECT_EQ(VolumeCaption(v), u"C:\\ 74.51GB; 37% free");
    EXPECT_EQ(DumpFileName(v, u"20070315093005"), u"Vlm-C-System-1A2B3C4D-20070315093005.txt");
    EXPECT_EQ(SummaryFileName(v, u"20070315093005"), u"ombrix.sum.C-20070315093005.txt");
    EXPECT_EQ(VolumeDetails(v),
              u"Volume: C:\\\nVolume name: System\nSerial number: 1A2B3C4D\nType: NTFS\nSize: 74.51 GB\n");
}

TEST(VolumeTexts, EdgeVolumes)
{
    VolumeRecord v = Example();
    v.size = 0.0;
    v.fileSystemName = u"FAT";
    EXPECT_EQ(VolumeDescription(v), u"[FAT]");

    v = Example();
    v.label.clear();
    v.serialNumber = 0xBEEF;
    EXPECT_EQ(DumpFileName(v, u"20070315093005"), u"Vlm-C--0000BEEF-20070315093005.txt");
    EXPECT_EQ(VolumeDescription(v), u"C:\\ 74.51GB  [NTFS]");

    // A label can hold "/" on Linux; the dump still lands in the current folder.
    v.label = u"../../etc/x";
    EXPECT_EQ(DumpFileName(v, u"20070315093005"), u"Vlm-C-.._.._etc_x-0000BEEF-20070315093005.txt");

    // A failed free-space query: all-ones total.
    v = Example();
    v.size = std::ldexp(18446744073709551615.0, -30);
    v.percentFree = kUnknownPercentFree;
    EXPECT_EQ(VolumeCaption(v), u"C:\\ 17179869184.00GB; 30% free");
}

TEST(VolumeTexts, PercentFree)
{
    const struct {
        uint64_t freeBytes, total;
        int percent;
    } cases[] = {
        {6, 1000, 1},      {4, 1000, 0},  {10, 1000, 1}, {999, 1000, 99}, {1000, 1000, 100},
        {5, 1000, 0},      {0, 1000, 0},  {0, 0, 0},     {5, 0, 0},       {2000, 1000, 100},
        {29600000000ull, 80000000000ull, 37}, {~0ull, ~0ull, 100}, {1, ~0ull, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentFree(c.freeBytes, c.total), c.percent) << c.freeBytes << "/" << c.total;
}

TEST(PluginLoading, LibraryPaths)
{
    const struct {
        const char16_t* folder;
        int number;
        std::u16string path;
    } cases[] = {
        {u"C:/Tools", 0, u"C:/Tools/fsm0"}, {u"C:/Tools/", 0, u"C:/Tools/fsm0"}, {u"X", 0, u"Xfsm0"},
        {u"/", 3, u"/fsm3"},                {u"", 5, u"fsm5"},                  {nullptr, 1, u"fsm1"},
        {u"/opt/velk/lib", 4, u"/opt/velk/lib/fsm4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PluginLibraryPath(c.folder, c.number), c.path);
    EXPECT_EQ(PluginNumbers(false), (std::vector<int>{0, 1, 2, 3, 5}));
    EXPECT_EQ(PluginNumbers(true), (std::vector<int>{1, 2, 4}));
}

} // namespace
