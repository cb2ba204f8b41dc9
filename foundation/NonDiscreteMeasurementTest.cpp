#include "foundation/NonDiscreteMeasurement.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>

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

void expectAllCases() {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.expected);
        const NonDiscreteMeasurement m(c.unit, c.value, c.magnitude, c.precision);
        EXPECT_EQ(m.toString(c.precision, c.target).toUtf8(), c.expected);
        EXPECT_EQ(m.localizedString(c.precision, c.target).toUtf8(), c.expected);
        // Asking for more decimals than the measurement carries changes nothing.
        EXPECT_EQ(m.toString(c.precision + 3, c.target).toUtf8(), c.expected);
    }
}

TEST(NonDiscreteMeasurementTest, Texts) {
    expectAllCases();
}

// A decimal comma in the global C++ locale, always available.
class CommaDecimals : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class ScopedGlobalLocale {
public:
    explicit ScopedGlobalLocale(const std::locale& locale)
        : previous_(std::locale::global(locale)) {}
    ~ScopedGlobalLocale() { std::locale::global(previous_); }

private:
    std::locale previous_;
};

TEST(NonDiscreteMeasurementTest, PointSeparatorWhateverTheGlobalLocale) {
    ScopedGlobalLocale comma(std::locale(std::locale::classic(), new CommaDecimals));
    expectAllCases();
}

} // namespace
} // namespace qel
