#include "platform/Utf.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Utf8, DecodesEveryEncodedLength) {
    EXPECT_EQ(utf8ToUtf16Strict("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              u"A\u00E9\u20AC\U0001F600");
    EXPECT_EQ(utf8ToUtf16Strict(""), u"");
    EXPECT_EQ(utf8ToUtf16Strict(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(utf8ToUtf16Strict("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
}

TEST(Utf8, RejectsIllFormedInput) {
    const char* const cases[] = {
        "\x80",             // continuation without a lead
        "\xC3",             // truncated
        "\xE2\x82",         // truncated
        "\xC3\x28",         // bad continuation
        "\xC0\xAF",         // overlong '/'
        "\xE0\x80\xAF",     // overlong
        "\xED\xA0\x80",     // surrogate U+D800
        "\xF4\x90\x80\x80", // beyond U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "\xFF",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(utf8ToUtf16Strict(text)) << testing::PrintToString(text);
    }
}

TEST(Utf8, EncodesAndReplacesUnpairedSurrogates) {
    EXPECT_EQ(utf16ToUtf8(u"A\u00E9\u20AC\U0001F600"), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(utf16ToUtf8(lone), "a\xEF\xBF\xBD"
                                 "b\xEF\xBF\xBD");
}

} // namespace
} // namespace platform
