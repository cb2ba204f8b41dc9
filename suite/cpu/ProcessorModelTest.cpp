// The value types of the topology: masks, locations, temperatures.

#include "suite/cpu/AffinityMask.h"
#include "suite/cpu/CpuTemperature.h"
#include "suite/cpu/x86_cpu_location.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

TEST(ProcessorModelTest, AffinityMaskKeepsProcessorsSortedAndUnique) {
    const AffinityMask mask({70, 3, 3, 0, 64});
    EXPECT_EQ(mask.getProcessors(), (std::vector<unsigned>{0, 3, 64, 70}));
    EXPECT_EQ(mask.getCount(), 4u);
    EXPECT_TRUE(mask.contains(64));
    EXPECT_FALSE(mask.contains(1));
    EXPECT_EQ(mask, AffinityMask({0, 3, 64, 70}));
    EXPECT_NE(mask, AffinityMask({0, 3, 64}));
    EXPECT_TRUE(AffinityMask().isEmpty());
    EXPECT_FALSE(AffinityMask().contains(0));
}

TEST(ProcessorModelTest, LocationTexts) {
    struct Case {
        x86_cpu_location location;
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        {x86_cpu_location(0), "CPU0", "Package 0"},
        {x86_cpu_location(12), "CPU12", "Package 12"},
        {x86_cpu_location(0, 3), "CPU0:Core3", "Package 0 Core 3"},
        {x86_cpu_location(1, 0), "CPU1:Core0", "Package 1 Core 0"},
        {x86_cpu_location(1, 3, 1), "CPU1:Core3#1", "Package 1 Core 3"},
        {x86_cpu_location(0, 4294967295u), "CPU0:Core4294967295", "Package 0 Core 4294967295"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.location.toString(true), c.key);
        EXPECT_EQ(c.location.toString(false), c.text);
    }
    EXPECT_FALSE(x86_cpu_location(0).isCore());
    EXPECT_TRUE(x86_cpu_location(0, 0).isCore());
    EXPECT_NE(x86_cpu_location(0), x86_cpu_location(0, 0));
}

TEST(ProcessorModelTest, TemperatureInWholeDegrees) {
    struct Case {
        double celsius;
        unsigned whole;
    };
    const Case cases[] = {
        {45.0, 45}, {48.25, 48}, {48.5, 49}, {48.75, 49},
        {0.4, 0},   {-5.0, 0},   {0.0, 0},   {1.0e9, 1000000},
    };
    for (const Case& c : cases) {
        CpuTemperature temperature;
        temperature.setCelsius(c.celsius);
        EXPECT_TRUE(temperature.isValid());
        EXPECT_EQ(temperature.getIntegerTemperature(), c.whole) << c.celsius;
    }
    const CpuTemperature none;
    EXPECT_FALSE(none.isValid());
    EXPECT_EQ(none.getIntegerTemperature(), 0u);
}

} // namespace
} // namespace libSysTopo::cpu
