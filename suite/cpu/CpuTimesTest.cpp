#include "suite/cpu/CpuTimes.h"

#include <vector>

#include <gtest/gtest.h>

namespace libCpuProbe::cpu {
namespace {

using Cpus = std::vector<unsigned>;

TEST(CpuTimesTest, BusyShareBetweenTwoReadings) {
    const CpuTimeSample before{{0, {100, 900}}, {1, {500, 500}}, {2, {0, 0}}, {3, {10, 10}}};
    struct Case {
        const char* name;
        CpuTimeSample after;
        Cpus cpus;
        std::optional<unsigned> percent;
    };
    const Case cases[] = {
        {"one processor", {{0, {150, 950}}}, {0}, 50},
        {"summed over the mask", {{0, {200, 900}}, {1, {500, 800}}}, {0, 1}, 25},
        {"rounded up", {{0, {102, 901}}}, {0}, 67},
        {"half rounds up", {{0, {101, 1099}}}, {0}, 1}, // 0.5 %
        {"no time passed", {{0, {100, 900}}}, {0}, std::nullopt},
        {"busy went backwards", {{0, {99, 1000}}}, {0}, std::nullopt},
        {"one of two went backwards", {{0, {200, 1000}}, {1, {400, 600}}}, {0, 1}, std::nullopt},
        {"missing after", {{0, {200, 1000}}}, {0, 1}, std::nullopt},
        {"empty mask", {{0, {200, 1000}}}, {}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(busyPercent(before, c.after, c.cpus), c.percent) << c.name;
    }
}

TEST(CpuTimesTest, SinceBootCountsFromZero) {
    const CpuTimeSample sample{{0, {25, 75}}, {1, {0, 0}}, {4, {50, 50}}};
    EXPECT_EQ(busyPercentSinceBoot(sample, Cpus{0, 4}), 38u); // 75 of 200
    EXPECT_EQ(busyPercentSinceBoot(sample, Cpus{1}), std::nullopt);
    EXPECT_EQ(busyPercentSinceBoot(sample, Cpus{}), std::nullopt);
}

TEST(CpuTimesTest, LargeCountersDoNotOverflow) {
    // 1024 processors, each near 2^64 / 1024 in 100 ns units: the sum passes 2^64.
    CpuTimeSample sample;
    Cpus cpus;
    for (unsigned cpu = 0; cpu < 1024; ++cpu) {
        sample[cpu] = {UINT64_MAX / 2048, UINT64_MAX / 2048};
        cpus.push_back(cpu);
    }
    EXPECT_EQ(busyPercentSinceBoot(sample, cpus), 50u);
    CpuTimeSample one{{0, {UINT64_MAX, 0}}};
    EXPECT_EQ(busyPercentSinceBoot(one, Cpus{0}), 100u);
}

} // namespace
} // namespace libCpuProbe::cpu
