// Signatures, revisions, bounds, voltages and the precisions of ratios and voltage are checked by
// the fixture machines (cpu-ratio-bounds, cpu-voltage); these cases cover the number formats they
// do not reach.

#include "cpu/ProcessorProperties.h"

#include <gtest/gtest.h>

namespace systemmonitor {
namespace {

TEST(ProcessorPropertiesTest, Formatters) {
    EXPECT_EQ(formatHexValue(0x1A), "1Ah");
    EXPECT_EQ(formatFrequency(0, 2, qel::MEGA), "0.00 MHz");
    EXPECT_EQ(formatFrequency(UINT64_MAX, 2, qel::MEGA), "18446744073709.55 MHz");
    EXPECT_EQ(formatRatio(9.0, 0, 1), "9.0");
    EXPECT_EQ(formatRatio(9.0, 0, 0), "9");
    EXPECT_EQ(formatRatio(42.99986, 1, 1), "43.0");
}

} // namespace
} // namespace systemmonitor
