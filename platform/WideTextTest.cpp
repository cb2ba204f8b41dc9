#include "platform/WideText.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(WideTextTest, ComparesAsciiWithoutCase) {
    EXPECT_TRUE(equalsNoCase(u"\\\\.\\PHYSICALDRIVE0", u"\\\\.\\PhysicalDrive0"));
    EXPECT_FALSE(equalsNoCase(u"abc", u"abcd"));
    EXPECT_FALSE(equalsNoCase(u"\u00E9", u"\u00C9")); // only ASCII folds
    EXPECT_TRUE(startsWithNoCase(u"\\\\?\\SCSI#x", u"\\\\?\\scsi"));
    EXPECT_FALSE(startsWithNoCase(u"ab", u"abc"));
    EXPECT_EQ(wideView(nullptr), u"");
}

TEST(WideTextTest, ReplacesMalformedInput) {
    EXPECT_EQ(utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf8ToUtf16("\xC3"), u"\uFFFD");                     // cut short
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // a surrogate
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

} // namespace
} // namespace platform
