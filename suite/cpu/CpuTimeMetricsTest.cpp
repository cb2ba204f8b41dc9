#include "suite/cpu/CpuTimeMetrics.h"

#include <deque>

#include <gtest/gtest.h>

namespace libCpuProbe::cpu {
namespace {

using libSysTopo::cpu::AffinityMask;

// Hands out scripted readings; nullopt stands for a failed read.
struct ScriptedSampler {
    std::deque<std::optional<CpuTimeSample>> readings;
    SampledCpuTimeMetrics::Sampler sampler() {
        return [this](CpuTimeSample& sample) {
            const auto next = readings.empty() ? std::nullopt : readings.front();
            if (!readings.empty()) {
                readings.pop_front();
            }
            sample = next.value_or(CpuTimeSample{{99, {1, 1}}}); // a failure leaves litter
            return next.has_value();
        };
    }
};

std::optional<unsigned> usage(SampledCpuTimeMetrics& meter, const AffinityMask& mask) {
    unsigned percent = 999;
    if (!meter.getPercentUsage(mask, percent)) {
        EXPECT_EQ(percent, 999u);
        return std::nullopt;
    }
    return percent;
}

TEST(CpuTimeMetricsTest, FirstSampleSinceBootThenBetweenSamples) {
    ScriptedSampler script;
    script.readings = {
        CpuTimeSample{{0, {25, 75}}, {1, {50, 50}}},
        CpuTimeSample{{0, {125, 75}}, {1, {50, 150}}},
        std::nullopt,
        CpuTimeSample{{0, {125, 175}}, {1, {150, 150}}},
        CpuTimeSample{{0, {125, 175}}, {1, {150, 150}}},
    };
    SampledCpuTimeMetrics meter(script.sampler());
    const AffinityMask both({0, 1});
    const AffinityMask first({0});
    EXPECT_EQ(usage(meter, both), std::nullopt); // no sample yet

    meter.refresh();
    EXPECT_EQ(usage(meter, first), 25u);
    EXPECT_EQ(usage(meter, both), 38u); // 75 of 200 since boot

    meter.refresh();
    EXPECT_EQ(usage(meter, first), 100u);
    EXPECT_EQ(usage(meter, AffinityMask({0, 64})), std::nullopt); // unknown processor

    meter.refresh(); // fails
    EXPECT_EQ(usage(meter, both), std::nullopt);

    meter.refresh(); // measured from the last good reading
    EXPECT_EQ(usage(meter, first), 0u);
    EXPECT_EQ(usage(meter, AffinityMask({1})), 100u);

    meter.refresh(); // no time passed
    EXPECT_EQ(usage(meter, both), std::nullopt);
    EXPECT_EQ(meter.getSampleCount(), 5u);
}

TEST(CpuTimeMetricsTest, WindowsProcessorTimes) {
    // idle, kernel, user and the busy time; the second kernel time was read before idle caught up.
    const std::uint64_t cases[][4] = {{100, 150, 30, 80}, {100, 90, 5, 5}};
    for (const auto& [idle, kernel, user, busy] : cases) {
        const CpuTimes times = timesFromKernelUser(idle, kernel, user);
        EXPECT_EQ(times.busy, busy);
        EXPECT_EQ(times.idle, idle);
    }
}

} // namespace
} // namespace libCpuProbe::cpu
