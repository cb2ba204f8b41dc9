// Signatures, revisions, bounds and voltages of whole packages are checked by the fixture
// machines; these cases cover the number formats they do not reach.

#include "cpu/ProcessorProperties.h"

#include "devicetree/TestTreeText.h"
#include "suite/cpu/testing/FakeProcessorSource.h"

#include <gtest/gtest.h>

namespace systemmonitor {
namespace {

using libSysTopo::cpu::x86_speed_metrics;

// A package node with the speed properties of these metrics, as text.
std::string speedPropertiesOf(const x86_speed_metrics& speed) {
    auto source = std::make_unique<libSysTopo::cpu::test::FakeProcessorSource>();
    source->packages.push_back({libSysTopo::cpu::test::fakeLayout(0, {0}), {}, {}, speed});
    libSysTopo::cpu::x86_physical_cpus topology(std::move(source), true);
    NodePointer node = makeNode(CPU_PACKAGE, "p", "CPU0");
    addSpeedProperties(node, topology[0]);
    return test::describeTree(*node);
}

TEST(ProcessorPropertiesTest, PrecisionsOfRatiosAndVoltage) {
    struct Case {
        unsigned ratioPrecision;
        unsigned voltagePrecision;
        std::string expected;
    };
    const Case cases[] = {
        {0, 4, "CPU_PACKAGE \"p\" CPU0 Multiplier=x 9.0 (6 - 9) CpuCoreVID=1.3000 V\n"},
        {2, 2, "CPU_PACKAGE \"p\" CPU0 Multiplier=x 9.00 (6.00 - 9.00) CpuCoreVID=1.30 V\n"},
    };
    for (const Case& c : cases) {
        x86_speed_metrics speed;
        speed.currentRatio = 9.0;
        speed.ratioLow = 6.0;
        speed.ratioHigh = 9.0;
        speed.ratioPrecision = c.ratioPrecision;
        speed.coreVoltage = 1.3;
        speed.voltagePrecision = c.voltagePrecision;
        EXPECT_EQ(speedPropertiesOf(speed), c.expected);
    }
}

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
