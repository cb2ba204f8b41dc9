#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

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

TEST(SimulatedMachine, WideBufferSizes) {
    SimulatedMachine machine = SimulatedMachine::fromJson(
        R"({"windows": {"systemDirectory": "C:\\W", "moduleFileName": "C:\\a.exe"}})");
    // "C:\W" fits from 5 units on; a smaller buffer gets the size needed, 5, and is untouched.
    std::u16string buffer(6, u'#');
    EXPECT_EQ(machine.getSystemDirectory(buffer.data(), 4), 5u);
    EXPECT_EQ(buffer, u"######");
    EXPECT_EQ(machine.getSystemDirectory(buffer.data(), 5), 4u);
    EXPECT_EQ(buffer, std::u16string(u"C:\\W\0#", 6));

    // "C:\a.exe" is 8 units: a buffer of 8 or less gets it truncated and zero-terminated.
    const std::tuple<DWORD, DWORD, std::u16string, bool> cases[] = {
        {0, 0, u"##########", true},
        {1, 1, std::u16string(u"\0#########", 10), true},
        {8, 8, std::u16string(u"C:\\a.ex\0##", 10), true},
        {9, 8, std::u16string(u"C:\\a.exe\0#", 10), false},
    };
    for (const auto& [size, result, expected, truncated] : cases) {
        std::u16string name(10, u'#');
        machine.closeHandle(nullptr); // leaves a last error that success must not disturb
        EXPECT_EQ(machine.getModuleFileName(name.data(), size), result) << size;
        EXPECT_EQ(name, expected) << size;
        EXPECT_EQ(machine.getLastError(),
                  truncated ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_HANDLE)
            << size;
    }
}

TEST(SimulatedMachine, LastErrorBelongsToTheThread) {
    SimulatedMachine machine = SimulatedMachine::fromJson("{}");
    EXPECT_FALSE(machine.closeHandle(nullptr));
    DWORD other = 12345;
    std::thread([&] { other = machine.getLastError(); }).join();
    EXPECT_EQ(other, ERROR_SUCCESS);
    std::thread([&] { machine.createFile(u"\\\\.\\Q:", 0, 0, OPEN_EXISTING, 0); }).join();
    EXPECT_EQ(machine.getLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
} // namespace platform::simulated
