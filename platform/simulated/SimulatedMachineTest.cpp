#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace platform::simulated {
namespace {

TEST(SimulatedMachine, ClockAndFactsFollowTheSteps) {
    SimulatedMachine machine =
        SimulatedMachine::fromFile(std::string(SM_TEST_DATA_DIR) + "/desktop.json");
    const ScopedBackend installed(machine);
    EXPECT_EQ(win32::GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 25));
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    ASSERT_TRUE(win32::GlobalMemoryStatusEx(&status));
    EXPECT_EQ(status.ullAvailPhys, 3221225472u);
    EXPECT_EQ(status.ullTotalPageFile, 0u); // not stated, so not made up
    EXPECT_EQ(currentBackend().processorFacts()->packages.at(0).usage, 37u);

    machine.applyStep(1);
    EXPECT_EQ(win32::monotonicSeconds(), 6.0);
    EXPECT_EQ(win32::GetLogicalDrives(), (1u << 2) | (1u << 3));
    ASSERT_TRUE(win32::GlobalMemoryStatusEx(&status));
    EXPECT_EQ(status.ullAvailPhys, 2147483648u);

    machine.applyStep(0);
    EXPECT_EQ(win32::monotonicSeconds(), 0.0);
    EXPECT_THROW(machine.applyStep(2), std::out_of_range);

    status.dwLength = 60;
    EXPECT_FALSE(machine.globalMemoryStatusEx(&status));
    EXPECT_EQ(machine.getLastError(), ERROR_INVALID_PARAMETER);
}

TEST(SimulatedMachine, ThePatchOfTheFirstStepWaitsForIt) {
    SimulatedMachine machine = SimulatedMachine::fromJson(
        R"({"memory": {"load": 1}, "steps": [{"at": 0.5, "patch": {"memory": {"load": 2}}}]})");
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    ASSERT_TRUE(machine.globalMemoryStatusEx(&status));
    EXPECT_EQ(status.dwMemoryLoad, 1u);
    machine.applyStep(0);
    ASSERT_TRUE(machine.globalMemoryStatusEx(&status));
    EXPECT_EQ(status.dwMemoryLoad, 2u);
}

} // namespace
} // namespace platform::simulated
