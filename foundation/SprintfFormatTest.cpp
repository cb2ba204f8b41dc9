#include "foundation/SprintfFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace qel {
namespace {

// Matched format and arguments must give exactly what the C library gives.
template <typename... Args> void expectLikePrintf(const char* format, Args... args) {
    char expected[256];
    std::snprintf(expected, sizeof expected, format, args...);
    EXPECT_EQ(SprintfFormat(format, args...).toUtf8(), expected) << "format " << format;
}

TEST(SprintfFormatTest, IntegersLikePrintf) {
    for (const int value : {0, 1, -1, 42, -42, 255, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(value);
        for (const char* format :
             {"%i", "%-5d|", "%05d", "% d", "%+05d", "%.0d", "%05.2d", "%#X", "%#.4o", "%#010x"}) {
            expectLikePrintf(format, value);
        }
    }
    for (const unsigned int value : {0u, 7u, 4294967295u, 0x80000000u}) {
        for (const char* format : {"%u", "%04X", "%#o", "%-10u|", "%.12u"}) {
            expectLikePrintf(format, value);
        }
    }
    // The C standard's answer; not every C library agrees, so it is not compared.
    EXPECT_EQ(SprintfFormat("%#.0o", 0).toUtf8(), "0");
    expectLikePrintf("%lld", LLONG_MIN);
    expectLikePrintf("%llx", -1LL);
}

// The system's own formats, then arguments that do not match their conversion, then conversions
// missing an argument, extra or unknown.
TEST(SprintfFormatTest, BeyondWhatPrintfDefines) {
    const char* const null = nullptr;
    struct Case {
        String actual;
        const char* expected;
    };
    const Case cases[] = {
        {SprintfFormat("%Xh", 0x2Fu), "2Fh"},
        {SprintfFormat("%04X-%04X", 0x1A2Bu, 0x3Cu), "1A2B-003C"},
        {SprintfFormat("%04X-%04X", 0xDEADBEEFu, 0u), "DEADBEEF-0000"},
        {SprintfFormat("Core %u", 31u), "Core 31"},
        {SprintfFormat("%c:", 'C'), "C:"},
        {SprintfFormat("%c:", static_cast<char>('A' + 3)), "D:"},
        {SprintfFormat("%c:", 'A' + 3), "D:"},
        {SprintfFormat(u"\\\\.\\%c:", u'F'), "\\\\.\\F:"},
        {SprintfFormat(u"%c", u'\u00E9'), "\xC3\xA9"},
        {SprintfFormat("\\\\.\\PhysicalDrive%u", 12u), "\\\\.\\PhysicalDrive12"},
        {SprintfFormat("%s", 2.5), "2.500000"},
        {SprintfFormat("%s", null), ""},
        {SprintfFormat("[%5s]", null), "[     ]"},
        {SprintfFormat("%c", "Xyz"), "X"},
        {SprintfFormat("%d", 2.9), "2.900000"},
        {SprintfFormat("%x", std::int64_t{-1}), "ffffffffffffffff"},
        {SprintfFormat("%u", static_cast<short>(-1)), "4294967295"},
        {SprintfFormat("%d", 4294967295u), "-1"},
        {SprintfFormat("%d", std::uint64_t{4294967296ull}), "4294967296"},
        {SprintfFormat("%s", String(u"w\u00E9de")), "w\u00E9de"},
        {SprintfFormat("%05f", -std::numeric_limits<double>::infinity()), " -inf"},
        {SprintfFormat("%f", std::numeric_limits<double>::quiet_NaN()), "nan"},
        {SprintfFormat("%d"), "%d"},
        {SprintfFormat("%d %d", 1), "1 %d"},
        {SprintfFormat("%q %d", 5), "%q 5"},
        {SprintfFormat("%e", 1.0), "%e"},
        {SprintfFormat("100%"), "100%"},
        {SprintfFormat("%*d"), "%*d"},
        {SprintfFormat("%%%d%%", 7), "%7%"},
        {SprintfFormat(static_cast<const char16_t*>(nullptr), 1), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.actual.toUtf8(), c.expected) << c.expected;
    }
}

TEST(SprintfFormatTest, HugeWidthsAndPrecisionsAreBounded) {
    EXPECT_LE(SprintfFormat("%999999999d", 1).size(), 4096u);
    EXPECT_LE(SprintfFormat("%*d", INT_MIN, 1).size(), 4096u);
    EXPECT_LE(SprintfFormat("%.999f", 1.0).size(), 4096u);
    EXPECT_EQ(SprintfFormat("%.999f", 1.0).toUtf8().substr(0, 2), "1.");
}

} // namespace
} // namespace qel
