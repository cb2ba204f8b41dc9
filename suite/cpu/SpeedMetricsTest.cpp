#include "suite/cpu/SpeedMetrics.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

TEST(SpeedMetricsTest, ComposesClocksAndTheFrequencyLeaf) {
    struct Case {
        const char* name;
        ClockReadings clocks;
        std::optional<CpuidFrequencies> leaf;
        bool known;
        std::uint64_t current, bus, base, max;
        double ratio, low, high;
    };
    const CpuidFrequencies i7_8700{3200, 4600, 100};
    const Case cases[] = {
        {"cpufreq and leaf",
         {4299986000, 800000000, 4600000000, "cpufreq"},
         i7_8700,
         true,
         4299986000,
         100000000,
         3200000000,
         4600000000,
         42.99986,
         8.0,
         46.0},
        {"leaf gives the highest clock",
         {3192000000, 0, 0, "cpuinfo"},
         i7_8700,
         true,
         3192000000,
         100000000,
         3200000000,
         4600000000,
         31.92,
         0.0,
         46.0},
        {"no leaf: no bus, no ratio",
         {2096009000, 0, 0, "cpuinfo"},
         std::nullopt,
         true,
         2096009000,
         0,
         0,
         0,
         0.0,
         0.0,
         0.0},
        {"leaf without bus clock",
         {2000000000, 0, 0, "power"},
         CpuidFrequencies{2000, 0, 0},
         true,
         2000000000,
         0,
         2000000000,
         0,
         0.0,
         0.0,
         0.0},
        {"bus clock alone",
         {},
         CpuidFrequencies{0, 0, 100},
         true,
         0,
         100000000,
         0,
         0,
         0.0,
         0.0,
         0.0},
        {"nothing", {}, std::nullopt, false, 0, 0, 0, 0, 0.0, 0.0, 0.0},
        {"leaf with clocks only",
         {},
         CpuidFrequencies{3200, 4600, 0},
         false,
         0,
         0,
         0,
         0,
         0.0,
         0.0,
         0.0},
    };
    for (const Case& c : cases) {
        x86_speed_metrics metrics;
        metrics.currentSpeedHz = 1;
        ASSERT_EQ(composeSpeedMetrics(c.clocks, c.leaf, metrics), c.known) << c.name;
        if (!c.known) {
            EXPECT_EQ(metrics.currentSpeedHz, 1u) << c.name;
            continue;
        }
        EXPECT_EQ(metrics.currentSpeedHz, c.current) << c.name;
        EXPECT_EQ(metrics.busSpeedHz, c.bus) << c.name;
        EXPECT_EQ(metrics.baseSpeedHz, c.base) << c.name;
        EXPECT_EQ(metrics.maxSpeedHz, c.max) << c.name;
        EXPECT_DOUBLE_EQ(metrics.currentRatio, c.ratio) << c.name;
        EXPECT_DOUBLE_EQ(metrics.ratioLow, c.low) << c.name;
        EXPECT_DOUBLE_EQ(metrics.ratioHigh, c.high) << c.name;
        EXPECT_EQ(metrics.fsbSpeedHz, 0u) << c.name;
        EXPECT_EQ(metrics.coreVoltage, 0.0) << c.name;
        EXPECT_EQ(metrics.ratioPrecision, kRatioPrecision) << c.name;
    }
}

} // namespace
} // namespace libSysTopo::cpu
