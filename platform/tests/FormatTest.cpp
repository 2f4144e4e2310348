#include "platform/Format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <cstdint>
#include <limits>

namespace platform {
namespace {

std::u16string Bounded(std::size_t maxUnits, const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::u16string out = FormatBoundedV(maxUnits, format, args);
    va_end(args);
    return out;
}

TEST(FormatTest, ReportAndFileNameFormats)
{
    const double gigabytes = 80000000000.0 * (1.0 / 1073741824.0);
    EXPECT_EQ(Format(u"%c:\\ %.2fGB %s [%s]", u'C', gigabytes, u"System", u"NTFS"), u"C:\\ 74.51GB System [NTFS]");
    EXPECT_EQ(Format(u"Vlm-%c-%s-%08X-%s.txt", u'D', u"Data", 0x1A2Bu, u"20070315093005"),
              u"Vlm-D-Data-00001A2B-20070315093005.txt");
    EXPECT_EQ(Format(u"%08X", 0xDEADBEEFu), u"DEADBEEF");
    EXPECT_EQ(Format(u"%4d%02d%02d%02d%02d%02d", 2007, 3, 15, 9, 30, 5), u"20070315093005");
    EXPECT_EQ(Format(u"%02ld:%02ld", 7L, 123L), u"07:123");
    EXPECT_EQ(Format(u"%d%%", 42), u"42%");
    EXPECT_EQ(Format(u"%c:\\ %.2fGB; %d%% free", u'E', 0.5, 37), u"E:\\ 0.50GB; 37% free");
    EXPECT_EQ(Format(u"minidump-%d.dmp", 0), u"minidump-0.dmp");
    EXPECT_EQ(Format(u"%s|%f|%f|%s|%d", u"C", 7.3, 39152.5, u"http://x/?a=1", 45),
              u"C|7.300000|39152.500000|http://x/?a=1|45");
    EXPECT_EQ(Format(u"%s %s", u"Some file.", u"Run it."), u"Some file. Run it.");
    EXPECT_EQ(Format(u"%02x%02x", 0x53, 0x0), u"5300");
}

TEST(FormatTest, SixtyFourBitValues)
{
    const int64_t min = std::numeric_limits<int64_t>::min();
    const int64_t max = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(Format(u"overlap lcn=%I64d count=%I64d", int64_t{-5}, int64_t{12}), u"overlap lcn=-5 count=12");
    EXPECT_EQ(Format(u"overlap lcn=%I64d count=%I64d", max, min),
              u"overlap lcn=9223372036854775807 count=-9223372036854775808");
    EXPECT_EQ(Format(u"%I64d", min), u"-9223372036854775808");
    EXPECT_EQ(Format(u"%lld|%llu|%I64u|%I64x", min, ~0ull, ~0ull, uint64_t{0xABCDEF0123}),
              u"-9223372036854775808|18446744073709551615|18446744073709551615|abcdef0123");
    // A 64-bit argument after a narrower one must not be read off by one slot.
    EXPECT_EQ(Format(u"%d %I64d %d", 1, int64_t{1} << 40, 3), u"1 1099511627776 3");
    EXPECT_EQ(Format(u"Files scanned: %I64d\n", int64_t{0}), u"Files scanned: 0\n");
}

TEST(FormatTest, FloatingPointRoundsAsTheCLibrary)
{
    struct Case {
        const char16_t* format;
        double value;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"%.1f", 0.0, u"0.0"},      {u"%.1f", 7.25, u"7.2"},     {u"%.1f", 7.35, u"7.3"},
        {u"%.1f", 7.3, u"7.3"},      {u"%.1f", 12.96, u"13.0"},   {u"%.1f", -0.04, u"-0.0"},
        {u"%.2f", 74.505, u"74.50"}, {u"%.2f", 0.125, u"0.12"},   {u"%.2f", std::numeric_limits<double>::infinity(), u"inf"},
        {u"%f", 7.3, u"7.300000"},   {u"%e", 1234.5, u"1.234500e+03"}, {u"%g", 0.0001, u"0.0001"},
        {u"%8.3f|", 3.14159, u"   3.142|"}, {u"%-8.1f|", 2.0, u"2.0     |"}, {u"%+.0f", 2.5, u"+2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Format(c.format, c.value), c.expected) << std::string(c.format, c.format + 5);
}

// A front end may switch the process to the user's locale; the formatter must
// still write "74.50", never "74,50". The locale is compiled on the spot.
TEST(FormatTest, NumbersIgnoreTheProcessLocale)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("formatlocale-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    {
        std::ofstream source(folder / "comma.src");
        source << "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3\nEND LC_NUMERIC\n";
    }
    const std::string command = "localedef -c -i '" + (folder / "comma.src").string() + "' -f ANSI_X3.4-1968 '" +
                                (folder / "xx_COMMA").string() + "' >/dev/null 2>&1";
    [[maybe_unused]] int ignored = std::system(command.c_str()); // warns (status 1) on the missing categories
    setenv("LOCPATH", folder.c_str(), 1);
    const bool switched = std::setlocale(LC_NUMERIC, "xx_COMMA") != nullptr;
    char narrow[32] = {};
    std::snprintf(narrow, sizeof narrow, "%.2f", 74.505);
    std::u16string text = Format(u"%.2f %c", 74.505, u'x');
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    std::filesystem::remove_all(folder);
    if (!switched)
        GTEST_SKIP() << "localedef could not build a locale with a decimal comma";
    EXPECT_STREQ(narrow, "74,50"); // the locale is really in force
    EXPECT_EQ(text, u"74.50 x");
}

TEST(FormatTest, TextAndCharacters)
{
    EXPECT_EQ(Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
    EXPECT_EQ(Format(u"[%5s|%-5s]", u"ab", u"cd"), u"[   ab|cd   ]");
    EXPECT_EQ(Format(u"[%.3s]", u"abcdef"), u"[abc]");
    EXPECT_EQ(Format(u"[%*.*s]", 6, 2, u"abcdef"), u"[    ab]");
    EXPECT_EQ(Format(u"[%-*d]", -4, 7), u"[7   ]");
    EXPECT_EQ(Format(u"[%s]", u"\u00e9\U0001F600"), u"[\u00e9\U0001F600]");
    EXPECT_EQ(Format(u"%c%c", 0x263A, u'x'), u"\u263ax");
    EXPECT_EQ(Format(u"[%3c]", u'z'), u"[  z]");
    EXPECT_EQ(Format(u"100%%"), u"100%");
}

TEST(FormatTest, MalformedConversionsTakeNoArgument)
{
    EXPECT_EQ(Format(u"%y %d", 5), u"%y 5");
    EXPECT_EQ(Format(u"%n%d", 5), u"%n5");
    EXPECT_EQ(Format(u"tail %"), u"tail %");
    EXPECT_EQ(Format(u"tail %-5"), u"tail %-5");
    EXPECT_EQ(Format(nullptr), u"");
    // An absurd field writes nothing but still takes its argument.
    EXPECT_EQ(Format(u"%2147483648d|%d", 1, 2), u"|2");
    EXPECT_EQ(Format(u"%99999s|%s", u"a", u"b"), u"|b");
    EXPECT_EQ(Format(u"%.99999f|%d", 1.0, 2), u"|2");
}

TEST(FormatTest, BoundedCutsToRoomForTerminator)
{
    EXPECT_EQ(Bounded(6, u"%s-%d", u"abc", 42), u"abc-4");
    EXPECT_EQ(Bounded(100, u"%s-%d", u"abc", 42), u"abc-42");
    EXPECT_EQ(Bounded(1, u"%d", 42), u"");
    EXPECT_EQ(Bounded(0, u"%d", 42), u"");
    EXPECT_EQ(Bounded(3, u"a%s", u"\U0001F600"), u"a");
    EXPECT_EQ(Bounded(4, u"a%s", u"\U0001F600"), u"a\U0001F600");
}

} // namespace
} // namespace platform
