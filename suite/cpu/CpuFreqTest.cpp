#include "suite/cpu/CpuFreq.h"

#include "suite/cpu/testing/TestFiles.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

using Hz = std::optional<std::uint64_t>;

TEST(CpuFreqTest, ReadsEachDriversFiles) {
    struct Case {
        unsigned cpu;
        Hz current;
        Hz min;
        Hz max;
    };
    const Case cases[] = {
        {0, 4299986000u, 800000000u, 4600000000u},     // intel_pstate
        {1, 3192000000u, 800000000u, 3201000000u},     // cpuinfo_cur_freq only
        {2, std::nullopt, std::nullopt, 4600000000u},  // "<unknown>" and a zero minimum
        {3, std::nullopt, std::nullopt, std::nullopt}, // no cpufreq directory
        {4, std::nullopt, std::nullopt, std::nullopt}, // no processor at all
    };
    const auto root = test::testData("sysfs-cpufreq-i7-8700");
    for (const Case& c : cases) {
        const CpuFrequency frequency = readCpuFrequency(root, c.cpu);
        EXPECT_EQ(frequency.currentHz, c.current) << "cpu" << c.cpu;
        EXPECT_EQ(frequency.minHz, c.min) << "cpu" << c.cpu;
        EXPECT_EQ(frequency.maxHz, c.max) << "cpu" << c.cpu;
    }
}

TEST(CpuFreqTest, ValuesThatWouldOverflowHertzAreDropped) {
    const test::TestTree tree;
    tree.file("cpu0/cpufreq/scaling_cur_freq", "18446744073709551\n");
    tree.file("cpu0/cpufreq/cpuinfo_max_freq", "18446744073709552\n");
    const CpuFrequency frequency = readCpuFrequency(tree.root(), 0);
    EXPECT_EQ(frequency.currentHz, 18446744073709551000u);
    EXPECT_EQ(frequency.maxHz, std::nullopt);
}

TEST(CpuFreqTest, FileGoneAfterTheFirstReadingDropsOnlyItsValue) {
    const test::TestTree tree;
    tree.file("cpu0/cpufreq/scaling_cur_freq", "2000000\n");
    tree.file("cpu0/cpufreq/cpuinfo_max_freq", "3000000\n");
    CpuFreqFiles files(tree.root());
    EXPECT_EQ(files.read(0).currentHz, 2000000000u);
    std::filesystem::remove_all(tree.root() / "cpu0/cpufreq/scaling_cur_freq");
    const CpuFrequency frequency = files.read(0);
    EXPECT_EQ(frequency.currentHz, std::nullopt);
    EXPECT_EQ(frequency.maxHz, 3000000000u);
    EXPECT_EQ(files.read(7).maxHz, std::nullopt); // never there
}

} // namespace
} // namespace libSysTopo::cpu
