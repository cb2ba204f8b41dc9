#include "suite/cpu/ProcStat.h"

#include "suite/cpu/testing/TestFiles.h"

#include <vector>

#include <gtest/gtest.h>

namespace libCpuProbe::cpu {
namespace {

using libSysTopo::cpu::test::readTestData;

void expectTimes(const CpuTimeSample& sample, unsigned cpu, std::uint64_t busy,
                 std::uint64_t idle) {
    const auto found = sample.find(cpu);
    ASSERT_NE(found, sample.end()) << "cpu" << cpu;
    EXPECT_EQ(found->second.busy, busy) << "cpu" << cpu;
    EXPECT_EQ(found->second.idle, idle) << "cpu" << cpu;
}

TEST(ProcStatTest, EpycVirtualMachineBetweenTwoReadings) {
    // Recorded two seconds apart while cpu0 ran a busy loop.
    const auto before = parseProcStat(readTestData("proc-stat-epyc-vm-2cpu-a.txt"));
    const auto after = parseProcStat(readTestData("proc-stat-epyc-vm-2cpu-b.txt"));
    ASSERT_EQ(before.size(), 2u);
    expectTimes(before, 0, 4395 + 2248 + 54, 68449 + 10);

    const std::vector<unsigned> cpu0{0};
    const std::vector<unsigned> cpu1{1};
    const std::vector<unsigned> both{0, 1};
    EXPECT_EQ(busyPercent(before, after, cpu0), 100u); // 200 busy of 201
    EXPECT_EQ(busyPercent(before, after, cpu1), 1u);   // 3 busy of 201
    EXPECT_EQ(busyPercent(before, after, both), 50u);  // 203 of 402
    EXPECT_EQ(busyPercentSinceBoot(before, cpu0), 9u); // 6697 of 75156
}

TEST(ProcStatTest, OldKernelWithEightColumns) {
    const auto sample = parseProcStat(readTestData("proc-stat-core2-e6600-kernel2.6.18.txt"));
    ASSERT_EQ(sample.size(), 2u);
    expectTimes(sample, 0, 1132 + 34 + 1441 + 127 + 438, 11311718 + 3675);
}

TEST(ProcStatTest, ColumnsAndMalformedLines) {
    struct Case {
        const char* name;
        std::string_view text;
        std::optional<CpuTimes> cpu0;
    };
    const Case cases[] = {
        {"all ten columns", "cpu0 1 2 4 1000 20 8 16 32 64 128\n", CpuTimes{63, 1020}},
        {"guest not counted twice", "cpu0 100 0 0 0 0 0 0 0 100 0\n", CpuTimes{100, 0}},
        {"future columns ignored", "cpu0 1 0 0 1 0 0 0 0 0 0 99 99\n", CpuTimes{1, 1}},
        {"three columns", "cpu0 1 2 3\n", std::nullopt},
        {"a word", "cpu0 1 2 x 4\n", std::nullopt},
        {"glued text", "cpu0 1 2 3 4abc\n", std::nullopt},
        {"overflowing column", "cpu0 1 2 3 18446744073709551616\n", std::nullopt},
        {"tabs and carriage return", "cpu0\t1\t2 3 4\r\n", CpuTimes{6, 4}},
        {"total line only", "cpu  1 2 3 4\n", std::nullopt},
        {"not a processor", "cpux 1 2 3 4\ncpu0x 1 2 3 4\ncpu1 1 1 1 1\n", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto sample = parseProcStat(c.text);
        const auto found = sample.find(0);
        ASSERT_EQ(found != sample.end(), c.cpu0.has_value()) << c.name;
        if (c.cpu0) {
            EXPECT_EQ(found->second.busy, c.cpu0->busy) << c.name;
            EXPECT_EQ(found->second.idle, c.cpu0->idle) << c.name;
        }
        EXPECT_LE(sample.size(), 1u) << c.name;
    }
}

} // namespace
} // namespace libCpuProbe::cpu
