#include "suite/cpu/HwmonSensors.h"

#include "suite/cpu/testing/TestFiles.h"

#include <gtest/gtest.h>

namespace libCpuProbe::cpu {
namespace {

using libSysTopo::cpu::test::testData;
using libSysTopo::cpu::test::TestTree;

// The reading of the sensor found for `key`, if one was found and reads.
template <typename Map>
std::optional<int> reading(const Map& inputs, const typename Map::key_type& key) {
    const auto found = inputs.find(key);
    return found == inputs.end() ? std::nullopt : readMillidegrees(found->second);
}

TEST(HwmonSensorsTest, CoretempOfTwoSocketsMatchesCoresToTheirPackage) {
    const HwmonSensors sensors =
        findCpuTemperatureSensors(testData("hwmon-coretemp-xeon-x5650-2s"));
    EXPECT_EQ(reading(sensors.packages, 0), 50000);
    EXPECT_EQ(reading(sensors.packages, 1), 51000);
    ASSERT_EQ(sensors.cores.size(), 12u);
    EXPECT_EQ(reading(sensors.cores, {0, 10}), 41000);
    EXPECT_EQ(reading(sensors.cores, {1, 8}), 50800);
}

TEST(HwmonSensorsTest, OldKernelKeepsAttributesUnderTheDevice) {
    const HwmonSensors sensors =
        findCpuTemperatureSensors(testData("hwmon-coretemp-core2-e6600-kernel2.6.32"));
    EXPECT_TRUE(sensors.packages.empty());
    EXPECT_EQ(reading(sensors.cores, {0, 0}), 39000);
    EXPECT_EQ(reading(sensors.cores, {0, 1}), 41000);
}

TEST(HwmonSensorsTest, K10tempPrefersTdieOverTctl) {
    const HwmonSensors sensors = findCpuTemperatureSensors(testData("hwmon-k10temp-ryzen-2700x"));
    ASSERT_EQ(sensors.k10temp.size(), 1u);
    EXPECT_EQ(readMillidegrees(sensors.k10temp[0]), 48250);
}

TEST(HwmonSensorsTest, K10tempOfTwoSocketsInPciOrder) {
    const auto root = testData("hwmon-k10temp-epyc-7302-2s");
    std::error_code error;
    if (!std::filesystem::is_symlink(root / "hwmon2" / "device", error)) {
        GTEST_SKIP() << "symbolic links of the recording are not visible here";
    }
    const HwmonSensors sensors = findCpuTemperatureSensors(root);
    ASSERT_EQ(sensors.k10temp.size(), 2u);
    // hwmon3 sits on 0000:00:18.3 (the first socket), hwmon2 on 0000:00:19.3.
    EXPECT_EQ(readMillidegrees(sensors.k10temp[0]), 52000);
    EXPECT_EQ(readMillidegrees(sensors.k10temp[1]), 61000);
}

TEST(HwmonSensorsTest, SkipsWhatDoesNotFit) {
    const TestTree tree;
    tree.file("hwmon0/name", "coretemp\n");
    tree.file("hwmon0/temp1_label", "Package id 3\n");
    tree.file("hwmon0/temp1_input", "60000\n");
    tree.file("hwmon0/temp2_label", "Core 4\n"); // no input: skipped
    tree.file("hwmon0/temp3_label", "Core x\n");
    tree.file("hwmon0/temp3_input", "1000\n");
    tree.file("hwmon0/temp4_label", "Core 5\n");
    tree.file("hwmon0/temp4_input", "-2000\n");
    tree.file("hwmon0/tempx_label", "Core 6\n");
    tree.file("hwmon0/tempx_input", "1000\n");
    tree.file("hwmon0/temp5_label", "Core 7\n");
    tree.file("hwmon0/temp5_input", "hot\n");
    tree.file("hwmon1/temp1_input", "1000\n"); // no name anywhere
    tree.file("hwmonx/name", "coretemp\n");
    tree.file("hwmon2/name", "k10temp\n");
    tree.file("hwmon2/temp1_label", "Tccd1\n"); // labelled, but neither Tdie nor Tctl
    tree.file("hwmon2/temp1_input", "1000\n");
    tree.file("other/name", "coretemp\n");

    const HwmonSensors sensors = findCpuTemperatureSensors(tree.root());
    EXPECT_EQ(reading(sensors.packages, 3), 60000);
    ASSERT_EQ(sensors.cores.size(), 2u);
    EXPECT_EQ(reading(sensors.cores, {3, 5}), -2000);
    EXPECT_TRUE(sensors.cores.contains({3, 7}));
    EXPECT_EQ(reading(sensors.cores, {3, 7}), std::nullopt);
    EXPECT_TRUE(sensors.k10temp.empty());
}

} // namespace
} // namespace libCpuProbe::cpu
