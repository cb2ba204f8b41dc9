#include "suite/cpu/HwmonTemperatureAccessor.h"

#include "suite/cpu/testing/FakeProcessorSource.h"
#include "suite/cpu/testing/TestFiles.h"

#include <gtest/gtest.h>

namespace libCpuProbe::cpu {
namespace {

using libSysTopo::cpu::CpuTemperature;
using libSysTopo::cpu::ICpuTemperatureAccessor;
using libSysTopo::cpu::x86_physical_cpus;
using libSysTopo::cpu::test::fakeLayout;
using libSysTopo::cpu::test::FakeProcessorSource;
using libSysTopo::cpu::test::testData;

// Packages with these ids and core numbers, readers installed from the recorded hwmon tree.
std::unique_ptr<x86_physical_cpus>
installed(std::string_view recording,
          const std::vector<std::pair<unsigned, std::vector<unsigned>>>& packages) {
    auto source = std::make_unique<FakeProcessorSource>();
    unsigned next = 0;
    for (const auto& [id, cores] : packages) {
        source->packages.push_back({fakeLayout(id, cores, next), {}, {}, {}});
        next += static_cast<unsigned>(cores.size());
    }
    auto topology = std::make_unique<x86_physical_cpus>(std::move(source), true);
    installHwmonAccessors(*topology, findCpuTemperatureSensors(testData(recording)));
    return topology;
}

// Whole degrees, or -1 without a reader, or -2 when the reader fails.
int degrees(const ICpuTemperatureAccessor* reader) {
    if (reader == nullptr) {
        return -1;
    }
    CpuTemperature temperature;
    return reader->readTemperature(temperature)
               ? static_cast<int>(temperature.getIntegerTemperature())
               : -2;
}

// Per package: its own degrees, then its cores'.
std::vector<std::vector<int>> allDegrees(const x86_physical_cpus& topology) {
    std::vector<std::vector<int>> result;
    for (unsigned p = 0; p < topology.getCpuCount(); ++p) {
        result.push_back({degrees(topology[p].getTemperatureAccessor())});
        for (unsigned c = 0; c < topology[p].getCoreCount(); ++c) {
            result.back().push_back(degrees(topology[p].getCore(c).get().getTemperatureAccessor()));
        }
    }
    return result;
}

TEST(HwmonTemperatureAccessorTest, CoretempMatchesPackagesAndCoreNumbers) {
    const auto server = installed("hwmon-coretemp-xeon-x5650-2s",
                                  {{0, {0, 1, 2, 8, 9, 10}}, {1, {0, 1, 2, 8, 9, 10}}});
    EXPECT_EQ(allDegrees(*server), (std::vector<std::vector<int>>{{50, 40, 40, 40, 41, 41, 41},
                                                                  {51, 50, 50, 50, 51, 51, 51}}));

    // A package whose id no sensor names gets no reader.
    const auto unknown = installed("hwmon-coretemp-xeon-x5650-2s", {{3, {0, 1}}});
    EXPECT_EQ(allDegrees(*unknown), (std::vector<std::vector<int>>{{-1, -1, -1}}));
}

TEST(HwmonTemperatureAccessorTest, K10tempIsSharedOutOverPackages) {
    // One device for two packages: both read it; cores have no sensor of their own.
    const auto shared = installed("hwmon-k10temp-ryzen-2700x", {{0, {0}}, {1, {0}}});
    EXPECT_EQ(allDegrees(*shared), (std::vector<std::vector<int>>{{48, -1}, {48, -1}}));
}

TEST(HwmonTemperatureAccessorTest, ReadsTheFileAtEachCall) {
    const libSysTopo::cpu::test::TestTree tree;
    tree.file("temp1_input", "47500\n");
    const HwmonTemperatureAccessor reader(tree.root() / "temp1_input", "k10temp");
    EXPECT_EQ(degrees(&reader), 48);
    tree.file("temp1_input", "-1000\n");
    EXPECT_EQ(degrees(&reader), -2);
    tree.file("temp1_input", "99999999999\n");
    EXPECT_EQ(degrees(&reader), -2);
    std::filesystem::remove(tree.root() / "temp1_input");
    EXPECT_EQ(degrees(&reader), -2);
}

} // namespace
} // namespace libCpuProbe::cpu
