#include "platform/Utf.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(UtfTest, RoundTripsValidText)
{
    const std::u16string samples[] = {
        u"", u"plain ASCII", u"caf\u00e9 \u00ff", u"\u20ac\uFFFD\uFFFF", u"\U0001F600 and \U0010FFFF", std::u16string(3, u'\0'),
    };
    for (const std::u16string& text : samples)
        EXPECT_EQ(ToUtf16(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(UtfTest, LoneSurrogatesBecomeReplacement)
{
    EXPECT_EQ(ToUtf8(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(ToUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD83D))), "\xEF\xBF\xBD");
}

TEST(UtfTest, InvalidBytesBecomeReplacement)
{
    struct Case {
        std::string bytes;
        std::u16string expected;
    };
    const Case cases[] = {
        {"\x80", u"\uFFFD"},                          // stray continuation
        {"a\xC3", u"a\uFFFD"},                        // truncated at the end
        {"\xC3(", u"\uFFFD("},                        // bad continuation: the next byte survives
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                // overlong
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},      // overlong three-byte
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},      // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {"\xF0\x9F\x98", u"\uFFFD"},                  // one maximal subpart
        {"\xE2\x82x", u"\uFFFDx"},
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
        {std::string("\0z", 2), std::u16string(u"\0z", 2)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToUtf16(c.bytes), c.expected) << c.bytes.size() << " bytes";
}

} // namespace
} // namespace platform
