// ntdll's entries bound at run time answer as the imported functions would.

#include "platform/windows/NtEntries.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kBufferTooSmall = static_cast<LONG>(0xC0000023);
constexpr int kProcessorInformation = 11; // POWER_INFORMATION_LEVEL

// PROCESSOR_POWER_INFORMATION (which the SDK leaves to powrprof's documentation): Number first.
struct ProcessorPower {
    ULONG Number;
    ULONG rest[5];
};

using Performance = SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION;

TEST(NtEntries, ProcessorTimesForEveryProcessorOfTheGroup) {
    const DWORD processors = ::GetActiveProcessorCount(0);
    ASSERT_GT(processors, 0u);
    std::vector<Performance> entries(64);
    ULONG returned = 0;
    const LONG status = platform::ntQuerySystemInformation(
        SystemProcessorPerformanceInformation, entries.data(),
        static_cast<ULONG>(entries.size() * sizeof(Performance)), &returned);
    ASSERT_GE(status, 0);
    EXPECT_EQ(returned, processors * sizeof(Performance));
    EXPECT_EQ(platform::ntQuerySystemInformation(SystemProcessorPerformanceInformation,
                                                 entries.data(), 0, &returned),
              kInfoLengthMismatch);
}

TEST(NtEntries, PowerInformationOfEveryProcessor) {
    const DWORD processors = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    ASSERT_GT(processors, 0u);
    std::vector<ProcessorPower> entries(processors);
    ASSERT_EQ(
        platform::ntPowerInformation(kProcessorInformation, nullptr, 0, entries.data(),
                                     static_cast<ULONG>(entries.size() * sizeof(ProcessorPower))),
        0);
    for (DWORD i = 0; i < processors; ++i) {
        EXPECT_EQ(entries[i].Number, i);
    }
    EXPECT_EQ(platform::ntPowerInformation(kProcessorInformation, nullptr, 0, entries.data(),
                                           sizeof(ProcessorPower) - 1),
              kBufferTooSmall);
}

TEST(NtEntries, ExtendedQueryReachesNtdll) {
    // SystemLogicalProcessorInformationEx for the processor cores: answered by every ntdll that
    // has the entry, where the unbound fallback would say "not implemented".
    constexpr int kLogicalProcessorInformationEx = 107;
    DWORD relation = 0; // RelationProcessorCore
    std::vector<BYTE> buffer(64 * 1024);
    ULONG returned = 0;
    EXPECT_EQ(platform::ntQuerySystemInformationEx(kLogicalProcessorInformationEx, &relation,
                                                   sizeof(relation), buffer.data(),
                                                   static_cast<ULONG>(buffer.size()), &returned),
              0);
    EXPECT_GT(returned, 0u);
}

} // namespace
