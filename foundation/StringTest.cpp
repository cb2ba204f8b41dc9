#include "foundation/String.h"

#include "foundation/Exception.h"
#include "foundation/QELValue.h"

#include <gtest/gtest.h>

#include <string>

namespace qel {
namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(StringTest, CompareNoCase) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"abc", "ABC", 0}, {"WDC WD10EZEX", "wdc wd10ezex", 0},
        {"ABD", "abc", 1}, {"ab", "abc", -1},
        {"abc", "AB", 1},  {"", "a", -1},
        {"Z", "a", 1}, // case folded before comparing, not raw code units
        {"a", "Z", -1},    {"\xC3\x84", "\xC3\xA4", -1}, // only ASCII letters fold: U+00C4 < U+00E4
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.a << " vs " << c.b);
        EXPECT_EQ(sign(String(c.a).compareNoCase(String(c.b))), c.sign);
        EXPECT_EQ(sign(String(c.b).compareNoCase(String(c.a))), -c.sign);
    }
}

TEST(StringTest, TrimAndNormalizeSpaces) {
    struct Case {
        std::u16string input;
        std::u16string trimmed;
        std::u16string normalized;
    };
    const Case cases[] = {
        {u"", u"", u""},
        {u"  a b  ", u"a b", u"a b"},
        {u"\t\r\n x\v\f", u"x", u"x"},
        {u"  a   b\t\tc  ", u"a   b\t\tc", u"a b c"},
        {u"\u00A0x\u3000", u"x", u"x"},
        {u"  Hitachi  HDS72\t1010 ", u"Hitachi  HDS72\t1010", u"Hitachi HDS72 1010"},
    };
    for (const Case& c : cases) {
        String trimmed(c.input);
        String& result = trimmed.trim();
        EXPECT_EQ(&result, &trimmed);
        EXPECT_EQ(trimmed.u16(), c.trimmed);

        String normalized(c.input);
        EXPECT_EQ(&normalized.normalizeSpaces(), &normalized);
        EXPECT_EQ(normalized.u16(), c.normalized);
    }
}

TEST(StringTest, Utf8ToUtf16) {
    struct Case {
        std::string input;
        std::u16string expected;
    };
    const Case cases[] = {
        {"", u""},
        {"\xC3\xBC", u"\u00FC"},
        {"\xF0\x9D\x84\x9E", u"\U0001D11E"},
        {"a\x80-", u"a\uFFFD-"},
        {"\xC3", u"\uFFFD"},                               // truncated at the end
        {"\xE2\x82", u"\uFFFD\uFFFD"},                     // truncated, then a stray continuation
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                     // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // past U+10FFFF
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8ToUtf16(c.input), c.expected) << ::testing::PrintToString(c.input);
        EXPECT_EQ(String(c.input.c_str()).u16(), c.expected);
    }
}

TEST(StringTest, Utf16ToUtf8) {
    struct Case {
        std::u16string input;
        std::string expected;
    };
    const Case cases[] = {
        {u"", ""},
        {u"\u00FC\u20AC", "\xC3\xBC\xE2\x82\xAC"},
        {u"\U0001D11E", "\xF0\x9D\x84\x9E"},
        {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
        {u"a\xD800", "a\xEF\xBF\xBD"},                           // high surrogate at the end
        {u"\xDC00-", "\xEF\xBF\xBD-"},                           // low surrogate alone
        {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},           // reversed pair
        {u"\xD800\xD834\xDD1E", "\xEF\xBF\xBD\xF0\x9D\x84\x9E"}, // lone high before a pair
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf16ToUtf8(c.input), c.expected) << ::testing::PrintToString(c.expected);
        EXPECT_EQ(String(c.input).toUtf8(), c.expected);
    }
}

TEST(StringTest, QelValueText) {
    EXPECT_EQ(QELValue(0).toString(String("nil")), "0");
    EXPECT_EQ(QELValue(4294967295u).toString(String()), "4294967295");
    EXPECT_EQ(QELValue().toString(String("nil")), "nil");
}

} // namespace
} // namespace qel
