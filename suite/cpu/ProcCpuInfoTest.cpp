#include "suite/cpu/ProcCpuInfo.h"

#include "suite/cpu/testing/TestFiles.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

TEST(ProcCpuInfoTest, DesktopWithPerProcessorClocks) {
    const auto entries = parseProcCpuInfo(test::readTestData("proc-cpuinfo-core-i7-8700.txt"));
    ASSERT_EQ(entries.size(), 12u);
    const double expected[] = {4299.986, 800.112, 3700.045, 4600.001, 799.987, 1200.5};
    for (unsigned i = 0; i < 12; ++i) {
        EXPECT_EQ(entries[i].processor, i);
        ASSERT_TRUE(entries[i].mhz.has_value()) << i;
        EXPECT_DOUBLE_EQ(*entries[i].mhz, expected[i % 6]) << i;
        EXPECT_EQ(entries[i].modelName, "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    }
}

TEST(ProcCpuInfoTest, ArmBoardWithoutClockOrModelName) {
    const auto entries = parseProcCpuInfo(test::readTestData("proc-cpuinfo-raspberry-pi-4.txt"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].processor, 1u);
    EXPECT_FALSE(entries[0].mhz.has_value());
    EXPECT_EQ(entries[0].modelName, "");
}

TEST(ProcCpuInfoTest, MalformedValuesAreSkipped) {
    struct Case {
        std::string_view text;
        std::size_t entries;
        std::optional<double> firstMhz;
    };
    const Case cases[] = {
        {"cpu MHz : 1000\n", 0, std::nullopt},          // before any processor line
        {"processor : 0\ncpu MHz : 1000.5", 1, 1000.5}, // no final line end
        {"processor : 0\ncpu MHz : -5\n", 1, std::nullopt},
        {"processor : 0\ncpu MHz : 12 MHz\n", 1, std::nullopt},
        {"processor : 0\ncpu MHz : nan\n", 1, std::nullopt},
        {"processor : x\ncpu MHz : 1000\nprocessor : 1\n", 1, std::nullopt},
        {"processor\t: 0\r\ncpu MHz\t\t: 2400.000\r\n", 1, 2400.0},
    };
    // Each case parsed into storage that held a desktop's twelve entries: nothing of them stays.
    std::vector<CpuInfoEntry> entries;
    for (const Case& c : cases) {
        parseProcCpuInfo(test::readTestData("proc-cpuinfo-core-i7-8700.txt"), entries);
        parseProcCpuInfo(c.text, entries);
        ASSERT_EQ(entries.size(), c.entries) << c.text;
        if (!entries.empty()) {
            EXPECT_EQ(entries[0].mhz, c.firstMhz) << c.text;
            EXPECT_EQ(entries[0].modelName, "") << c.text;
        }
    }
}

TEST(ProcCpuInfoTest, ClockIsFixedOnlyOnX86WithoutAperfMperf) {
    const struct {
        std::string_view text;
        bool fixed;
    } cases[] = {
        {"processor\t: 0\nflags\t\t: fpu tsc hypervisor\ncpu MHz\t\t: 2596.122\n", true},
        {"processor\t: 0\nflags\t\t: fpu tsc aperfmperf pni\n", false},
        {"processor\t: 0\nflags\t\t: fpu tsc aperfmperf\r\n", false},
        {"processor\t: 0\nflags\t\t: aperfmperfx\n", true},
        {"processor\t: 0\nFeatures\t: fp asimd\n", false}, // no x86 flags
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cpuInfoClockIsFixed(c.text), c.fixed) << c.text;
    }
}

} // namespace
} // namespace libSysTopo::cpu
