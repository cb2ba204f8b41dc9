#include "foundation/NonDiscreteMeasurement.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <locale>
#include <random>
#include <string>
#include <vector>

namespace qel {
namespace {

struct Case {
    UnitType unit;
    double value;
    UnitMagnitude magnitude;
    int precision;
    UnitMagnitude target;
    const char* expected;
};

const Case kCases[] = {
    {HERTZ, 2400.0, MEGA, 2, GIGA, "2.40 GHz"},
    {HERTZ, 2400.0, MEGA, 2, AUTOSCALEUNIT, "2.40 GHz"},
    {HERTZ, 2400.0, MEGA, 2, BASEUNIT, "2400000000.00 Hz"},
    {HERTZ, 999.0, BASEUNIT, 0, AUTOSCALEUNIT, "999 Hz"},
    {HERTZ, 1000.0, BASEUNIT, 0, AUTOSCALEUNIT, "1 kHz"},
    {HERTZ, 3.7, MEGA, -1, MEGA, "4 MHz"}, // a negative precision shows no decimals
    {HERTZ, 2400.0, AUTOSCALEUNIT, 0, BASEUNIT, "2400 Hz"}, // built "autoscaled" = base unit
    {VOLTS, 1.325, BASEUNIT, 4, AUTOSCALEUNIT, "1.3250 V"},
    {VOLTS, 0.9, BASEUNIT, 4, AUTOSCALEUNIT, "0.9000 V"}, // below 1 keeps the base unit
    {VOLTS, -0.0001, BASEUNIT, 2, BASEUNIT, "0.00 V"},    // no negative zero
    {VOLTS, -1.5, BASEUNIT, 1, BASEUNIT, "-1.5 V"},
    {NOUNIT, 9.0, BASEUNIT, 1, BASEUNIT, "9.0"},
    {NOUNIT, 12000.0, BASEUNIT, 0, AUTOSCALEUNIT, "12000"}, // no prefix without a unit
};

// Whatever the value, the text is to_chars' fixed notation (rounded exactly, ties to even), with
// no sign on a zero: halves, carries into a new digit, tiny and huge values, random ones.
TEST(NonDiscreteMeasurementTest, DecimalsAreThoseOfTheExactBinaryValue) {
    std::vector<double> values = {
        0.0,    -0.0, 0.5,         1.5,          2.5,    0.125,      0.375,        2596.125,
        9.995,  99.5, 999.9999999, 1e-300,       5e-324, 1e15 + 0.5, 0x1p52 + 0.5, 0x1p53 - 1,
        0x1p53, 1e20, 123456.789,  2400000000.0, -1.005, -0.0001};
    std::mt19937_64 random(7);
    for (int i = 0; i < 4000; ++i) {
        const double mantissa = std::uniform_real_distribution<double>(1.0, 2.0)(random);
        const int exponent = std::uniform_int_distribution<int>(-40, 60)(random);
        values.push_back((i % 2 ? -1 : 1) * std::ldexp(mantissa, exponent));
    }
    for (const double value : values) {
        for (int decimals = 0; decimals <= 12; ++decimals) {
            char buffer[400];
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                           std::chars_format::fixed, decimals)
                                 .ptr;
            std::string expected(buffer, end);
            if (expected.find_first_not_of("-0.") == std::string::npos && expected[0] == '-') {
                expected.erase(0, 1);
            }
            const NonDiscreteMeasurement m(NOUNIT, value, BASEUNIT, decimals);
            ASSERT_EQ(m.toString(decimals, BASEUNIT).toUtf8(), expected)
                << value << " to " << decimals << " places";
        }
    }
}

// A decimal comma in the global C++ locale, always available.
class CommaDecimals : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(NonDiscreteMeasurementTest, TextsWithAPointWhateverTheGlobalLocale) {
    const std::locale previous = std::locale::global(std::locale::classic());
    for (const bool comma : {false, true}) {
        if (comma) {
            std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
        }
        for (const Case& c : kCases) {
            SCOPED_TRACE(c.expected);
            const NonDiscreteMeasurement m(c.unit, c.value, c.magnitude, c.precision);
            EXPECT_EQ(m.toString(c.precision, c.target).toUtf8(), c.expected);
            EXPECT_EQ(m.localizedString(c.precision, c.target).toUtf8(), c.expected);
            // Asking for more decimals than the measurement carries changes nothing.
            EXPECT_EQ(m.toString(c.precision + 3, c.target).toUtf8(), c.expected);
        }
    }
    std::locale::global(previous);
}

} // namespace
} // namespace qel
