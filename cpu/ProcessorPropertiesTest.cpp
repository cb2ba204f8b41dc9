#include "cpu/ProcessorProperties.h"

#include "cpu/ProcessorTreeText.h"
#include "suite/cpu/FakeProcessorSource.h"

#include <gtest/gtest.h>

namespace systemmonitor {
namespace {

using libSysTopo::cpu::x86_cpu_signature;
using libSysTopo::cpu::x86_physical_cpus;
using libSysTopo::cpu::x86_speed_metrics;
using libSysTopo::cpu::test::fakeLayout;
using libSysTopo::cpu::test::FakePackage;
using libSysTopo::cpu::test::FakeProcessorSource;

// The properties the two adders give a package with these facts, as "key=value ...".
std::string propertiesOf(const FakePackage& facts) {
    auto source = std::make_unique<FakeProcessorSource>();
    source->packages.push_back(facts);
    source->packages[0].layout = fakeLayout(0, {0});
    x86_physical_cpus topology(std::move(source), true);
    NodePointer node = makeNode(CPU_PACKAGE, "p", "CPU0");
    addIdentificationProperties(node, topology[0]);
    addSpeedProperties(node, topology[0]);
    std::string text;
    for (const auto& property : node->getProperties()) {
        text += (text.empty() ? "" : " ") + property->getKey().toUtf8() + "=" +
                property->getValue().toUtf8();
    }
    return text;
}

FakePackage withSignature(x86_cpu_signature signature) {
    FakePackage package;
    package.identity.signature = signature;
    return package;
}

TEST(ProcessorPropertiesTest, IdentificationInUpperCaseHexadecimal) {
    struct Case {
        x86_cpu_signature signature;
        std::string expected;
    };
    // Members in declared order: signature, family, model, extFamily, extModel, stepping.
    const Case cases[] = {
        {{0x6F6, 6, 0xF, 0, 0, 6},
         "CPUID=6F6h Family=6h Model=Fh Stepping=6h ExtFamily=0h ExtModel=0h"},
        {{0x6F6, 6, 0, 0, 0, 6},
         "CPUID=6F6h Family=6h Model=0h Stepping=6h ExtFamily=0h ExtModel=0h"},
        {{0, 0, 0, 0, 0, 0}, "CPUID=0h Family=0h Model=0h Stepping=0h ExtFamily=0h ExtModel=0h"},
        {{0xB00F21, 0xF, 2, 0xB, 0, 1},
         "CPUID=B00F21h Family=Fh Model=2h Stepping=1h ExtFamily=Bh ExtModel=0h"},
        {{0xFFFFFFFF, 0xAB, 0xCD, 0xEF, 0xFF, 0xFE},
         "CPUID=FFFFFFFFh Family=ABh Model=CDh Stepping=FEh ExtFamily=EFh ExtModel=FFh"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(propertiesOf(withSignature(c.signature)), c.expected);
    }
}

TEST(ProcessorPropertiesTest, RevisionOnlyWhenReportedAndNotEmpty) {
    const std::string signature =
        "CPUID=0h Family=0h Model=0h Stepping=0h ExtFamily=0h ExtModel=0h";
    struct Case {
        std::optional<qel::String> revision;
        std::string expected;
    };
    const Case cases[] = {
        {std::nullopt, signature},
        {qel::String(""), signature},
        {qel::String("B3"), signature + " Revision=B3"},
    };
    for (const Case& c : cases) {
        FakePackage package;
        package.revision = c.revision;
        EXPECT_EQ(propertiesOf(package), c.expected);
    }
}

x86_speed_metrics fullSpeed() {
    x86_speed_metrics speed;
    speed.ratioPrecision = 1;
    speed.currentRatio = 9.0;
    speed.ratioLow = 6.0;
    speed.ratioHigh = 9.0;
    speed.currentSpeedHz = 2400000000;
    speed.busSpeedHz = 266666666;
    speed.fsbSpeedHz = 1066666666;
    speed.coreVoltage = 1.325;
    speed.voltagePrecision = 4;
    return speed;
}

TEST(ProcessorPropertiesTest, SpeedProperties) {
    const std::string id = "CPUID=0h Family=0h Model=0h Stepping=0h ExtFamily=0h ExtModel=0h";
    struct Case {
        const char* name;
        std::function<void(x86_speed_metrics&)> change;
        std::string expected;
    };
    const Case cases[] = {
        {"everything", [](x86_speed_metrics&) {},
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (6.0 - 9.0) CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.3250 V"},
        {"ratio precision 0", [](x86_speed_metrics& s) { s.ratioPrecision = 0; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (6 - 9) CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.3250 V"},
        {"ratio precision 2", [](x86_speed_metrics& s) { s.ratioPrecision = 2; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.00 (6.00 - 9.00) CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.3250 V"},
        {"equal bounds", [](x86_speed_metrics& s) { s.ratioLow = 9.0; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.3250 V"},
        {"zero low bound", [](x86_speed_metrics& s) { s.ratioLow = 0.0; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.3250 V"},
        {"zero high bound", [](x86_speed_metrics& s) { s.ratioHigh = 0.0; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.3250 V"},
        {"reversed bounds", [](x86_speed_metrics& s) { std::swap(s.ratioLow, s.ratioHigh); },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (9.0 - 6.0) CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.3250 V"},
        {"no current ratio", [](x86_speed_metrics& s) { s.currentRatio = 0.0; },
         " CurrentSpeed=2400.00 MHz CPUBusSpeed=266.67 MHz CPUFSBSpeed=1066.67 MHz"
         " CpuCoreVID=1.3250 V"},
        {"no current clock", [](x86_speed_metrics& s) { s.currentSpeedHz = 0; },
         " Multiplier=x 9.0 (6.0 - 9.0) CPUBusSpeed=266.67 MHz CPUFSBSpeed=1066.67 MHz"
         " CpuCoreVID=1.3250 V"},
        {"no bus clock", [](x86_speed_metrics& s) { s.busSpeedHz = 0; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (6.0 - 9.0) CPUFSBSpeed=1066.67 MHz"
         " CpuCoreVID=1.3250 V"},
        {"no front-side bus", [](x86_speed_metrics& s) { s.fsbSpeedHz = 0; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (6.0 - 9.0) CPUBusSpeed=266.67 MHz"
         " CpuCoreVID=1.3250 V"},
        {"zero voltage", [](x86_speed_metrics& s) { s.coreVoltage = 0.0; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (6.0 - 9.0) CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz"},
        {"negative voltage", [](x86_speed_metrics& s) { s.coreVoltage = -1.2; },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (6.0 - 9.0) CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz"},
        {"voltage precision 2",
         [](x86_speed_metrics& s) {
             s.coreVoltage = 1.3;
             s.voltagePrecision = 2;
         },
         " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (6.0 - 9.0) CPUBusSpeed=266.67 MHz"
         " CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.30 V"},
        {"nothing known but the record", [](x86_speed_metrics& s) { s = x86_speed_metrics{}; }, ""},
    };
    for (const Case& c : cases) {
        FakePackage package;
        x86_speed_metrics speed = fullSpeed();
        c.change(speed);
        package.speed = speed;
        EXPECT_EQ(propertiesOf(package), id + c.expected) << c.name;
    }
}

TEST(ProcessorPropertiesTest, FailedSpeedMetricsAddNothing) {
    FakePackage package;
    package.revision = qel::String("C0");
    EXPECT_EQ(propertiesOf(package),
              "CPUID=0h Family=0h Model=0h Stepping=0h ExtFamily=0h ExtModel=0h Revision=C0");
}

TEST(ProcessorPropertiesTest, Formatters) {
    EXPECT_EQ(formatHexValue(0), "0h");
    EXPECT_EQ(formatHexValue(0x1A), "1Ah");
    EXPECT_EQ(formatHexValue(255), "FFh");
    EXPECT_EQ(formatFrequency(0, 2, qel::MEGA), "0.00 MHz");
    EXPECT_EQ(formatFrequency(100000000, 2, qel::MEGA), "100.00 MHz");
    EXPECT_EQ(formatFrequency(UINT64_MAX, 2, qel::MEGA), "18446744073709.55 MHz");
    EXPECT_EQ(formatRatio(9.0, 1, 0), "9.0");
    EXPECT_EQ(formatRatio(9.0, 0, 1), "9.0");
    EXPECT_EQ(formatRatio(9.0, 0, 0), "9");
    EXPECT_EQ(formatRatio(42.99986, 1, 1), "43.0");
    EXPECT_EQ(formatRatio(1234.5, 1, 0), "1234.5");
}

} // namespace
} // namespace systemmonitor
