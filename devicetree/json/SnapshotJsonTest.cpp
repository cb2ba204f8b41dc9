#include "devicetree/json/SnapshotJson.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace {

using systemmonitor::json::appendReal;
using systemmonitor::json::appendString;

// The goldens were written by nlohmann::json; the writer must keep to its exact text.
std::string reference(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TEST(SnapshotJson, RealsAsTheJsonLibraryWroteThem) {
    for (const double value :
         {0.0, -0.0, 1.0, -2.5, 8192.0, 0.1, 1e-4, 1.5e-5, 1e-7, 123456789012345.0, 1e15, 1e16,
          17592186044416.0, 6553.60000038147, 0.009535789489746094, 1e100, 1.7e-300, DBL_MAX,
          DBL_MIN, std::numeric_limits<double>::denorm_min(), 9007199254740993.0, 5e-324,
          1234.5678e-30}) {
        std::string out;
        appendReal(out, value);
        EXPECT_EQ(out, reference(value)) << value;
    }
    for (const double value : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        std::string out;
        appendReal(out, value);
        EXPECT_EQ(out, "null");
    }
}

TEST(SnapshotJson, StringsAsTheJsonLibraryWroteThem) {
    for (const std::string& text :
         {std::string(""), std::string("plain"), std::string("q\"b\\s/"),
          std::string("\b\f\n\r\t\x01\x1f\x7f", 8), std::string("\0x", 2),
          std::string("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), std::string("\xFF"),
          std::string("a\xC3"), std::string("\xC3(b"), std::string("\xE0\x80\xAF"),
          std::string("\xED\xA0\x80z"), std::string("\xF4\x90\x80\x80"),
          std::string("\xF0\x9F\x98"), std::string("\xC0\xAF")}) {
        std::string out;
        appendString(out, text);
        EXPECT_EQ(out, reference(text)) << text;
    }
}

TEST(SnapshotJson, Utf16TextAsItsUtf8FormWritesIt) {
    for (const std::u16string& text :
         {std::u16string(u""), std::u16string(u"plain q\"b\\"), std::u16string(u"\b\t\x01\x1f\x7f"),
          std::u16string(u"\0x", 2), std::u16string(u"\u00E9\u20AC\U0001F600"),
          std::u16string(1, char16_t(0xD800)) + u"z", u"a" + std::u16string(1, char16_t(0xDC00)),
          std::u16string(2, char16_t(0xDBFF))}) {
        std::string expected;
        appendString(expected, qel::String(text).toUtf8());
        std::string out = "x";
        appendString(out, std::u16string_view(text));
        EXPECT_EQ(out, "x" + expected);
    }
}

} // namespace
