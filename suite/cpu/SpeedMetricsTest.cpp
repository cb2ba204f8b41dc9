#include "suite/cpu/SpeedMetrics.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

TEST(SpeedMetricsTest, ComposesClocksAndTheFrequencyLeaf) {
    struct Expected {
        std::uint64_t bus, max;
        double ratio, low, high;
    };
    struct Case {
        const char* name;
        ClockReadings clocks;
        std::optional<CpuidFrequencies> leaf;
        std::optional<Expected> expected; // nullopt: nothing known
    };
    const CpuidFrequencies i7_8700{3200, 4600, 100};
    const Case cases[] = {
        {"cpufreq and leaf",
         {4299986000, 800000000, 4600000000, "cpufreq"},
         i7_8700,
         Expected{100000000, 4600000000, 42.99986, 8.0, 46.0}},
        {"leaf gives the highest clock",
         {3192000000, 0, 0, "cpuinfo"},
         i7_8700,
         Expected{100000000, 4600000000, 31.92, 0.0, 46.0}},
        {"no leaf: no bus, no ratio", {2096009000, 0, 0, "cpuinfo"}, std::nullopt, Expected{}},
        {"leaf with clocks only", {}, CpuidFrequencies{3200, 4600, 0}, std::nullopt},
    };
    for (const Case& c : cases) {
        x86_speed_metrics metrics;
        metrics.currentSpeedHz = 1;
        ASSERT_EQ(composeSpeedMetrics(c.clocks, c.leaf, metrics), c.expected.has_value()) << c.name;
        if (!c.expected) {
            EXPECT_EQ(metrics.currentSpeedHz, 1u) << c.name;
            continue;
        }
        EXPECT_EQ(metrics.currentSpeedHz, c.clocks.currentHz) << c.name;
        EXPECT_EQ(metrics.busSpeedHz, c.expected->bus) << c.name;
        EXPECT_EQ(metrics.maxSpeedHz, c.expected->max) << c.name;
        EXPECT_DOUBLE_EQ(metrics.currentRatio, c.expected->ratio) << c.name;
        EXPECT_DOUBLE_EQ(metrics.ratioLow, c.expected->low) << c.name;
        EXPECT_DOUBLE_EQ(metrics.ratioHigh, c.expected->high) << c.name;
    }
}

} // namespace
} // namespace libSysTopo::cpu
