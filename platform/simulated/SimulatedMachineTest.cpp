#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace platform::simulated {
namespace {

constexpr char16_t kGuard = u'#';

std::string desktopFile() {
    return std::string(SM_TEST_DATA_DIR) + "/desktop.json";
}

TEST(SimulatedMachine, ClockAndFactsFollowTheSteps) {
    SimulatedMachine machine = SimulatedMachine::fromFile(desktopFile());
    const ScopedBackend installed(machine);
    ASSERT_EQ(machine.stepCount(), 2u);
    EXPECT_EQ(win32::monotonicSeconds(), 0.0);
    EXPECT_EQ(win32::GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 25));

    machine.applyStep(1);
    EXPECT_EQ(win32::monotonicSeconds(), 6.0);
    EXPECT_EQ(win32::GetLogicalDrives(), (1u << 2) | (1u << 3));
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    ASSERT_TRUE(win32::GlobalMemoryStatusEx(&status));
    EXPECT_EQ(status.ullAvailPhys, 2147483648u);

    machine.applyStep(0);
    EXPECT_EQ(win32::monotonicSeconds(), 0.0);
    EXPECT_THROW(machine.applyStep(2), std::out_of_range);
}

TEST(SimulatedMachine, WithoutStepsThereIsOneStepAtZero) {
    SimulatedMachine machine = SimulatedMachine::fromJson(R"({"drives": {"C": {}}})");
    EXPECT_EQ(machine.stepCount(), 1u);
    machine.applyStep(0);
    EXPECT_EQ(machine.monotonicSeconds(), 0.0);
    EXPECT_EQ(machine.getLogicalDrives(), 1u << 2);
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
    EXPECT_EQ(machine.monotonicSeconds(), 0.5);
}

TEST(SimulatedMachine, GlobalMemoryStatus) {
    SimulatedMachine machine = SimulatedMachine::fromFile(desktopFile());
    MEMORYSTATUSEX status;
    std::memset(&status, 0xAB, sizeof(status));
    status.dwLength = sizeof(status);
    ASSERT_TRUE(machine.globalMemoryStatusEx(&status));
    EXPECT_EQ(status.dwLength, 64u);
    EXPECT_EQ(status.dwMemoryLoad, 62u);
    EXPECT_EQ(status.ullTotalPhys, 8589934592u);
    EXPECT_EQ(status.ullAvailPhys, 3221225472u);
    EXPECT_EQ(status.ullTotalPageFile, 0u); // not stated, so not made up

    status.dwLength = 60;
    EXPECT_FALSE(machine.globalMemoryStatusEx(&status));
    EXPECT_EQ(machine.getLastError(), ERROR_INVALID_PARAMETER);

    SimulatedMachine bare = SimulatedMachine::fromJson("{}");
    status.dwLength = sizeof(status);
    EXPECT_FALSE(bare.globalMemoryStatusEx(&status));
}

TEST(SimulatedMachine, SystemDirectorySizes) {
    SimulatedMachine machine =
        SimulatedMachine::fromJson(R"({"windows": {"systemDirectory": "C:\\W"}})");
    struct Case {
        UINT size;
        UINT result;
        std::u16string buffer;
    };
    // "C:\W" is 4 characters: it fits from 5 on; a smaller buffer gets the size needed, 5.
    const Case cases[] = {{0, 5, u"######"},
                          {4, 5, u"######"},
                          {5, 4, std::u16string(u"C:\\W\0#", 6)},
                          {6, 4, std::u16string(u"C:\\W\0#", 6)}};
    for (const Case& c : cases) {
        std::u16string buffer(6, kGuard);
        EXPECT_EQ(machine.getSystemDirectory(buffer.data(), c.size), c.result) << c.size;
        EXPECT_EQ(buffer, c.buffer) << c.size;
    }
    EXPECT_EQ(machine.getSystemDirectory(nullptr, 0), 5u);

    SimulatedMachine bare = SimulatedMachine::fromJson("{}");
    std::u16string buffer(6, kGuard);
    EXPECT_EQ(bare.getSystemDirectory(buffer.data(), 6), 0u);
}

TEST(SimulatedMachine, ModuleFileNameSizes) {
    SimulatedMachine machine =
        SimulatedMachine::fromJson(R"({"windows": {"moduleFileName": "C:\\a.exe"}})");
    struct Case {
        DWORD size;
        DWORD result;
        std::u16string buffer;
        bool truncated;
    };
    // "C:\a.exe" is 8 characters; a buffer of 8 or less gets it truncated and zero-terminated.
    const Case cases[] = {
        {0, 0, u"##########", true},
        {1, 1, std::u16string(u"\0#########", 10), true},
        {8, 8, std::u16string(u"C:\\a.ex\0##", 10), true},
        {9, 8, std::u16string(u"C:\\a.exe\0#", 10), false},
        {10, 8, std::u16string(u"C:\\a.exe\0#", 10), false},
    };
    for (const Case& c : cases) {
        std::u16string buffer(10, kGuard);
        machine.closeHandle(nullptr); // leaves a last error that success must not disturb
        EXPECT_EQ(machine.getModuleFileName(buffer.data(), c.size), c.result) << c.size;
        EXPECT_EQ(buffer, c.buffer) << c.size;
        EXPECT_EQ(machine.getLastError(),
                  c.truncated ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_HANDLE)
            << c.size;
    }
    SimulatedMachine bare = SimulatedMachine::fromJson("{}");
    std::u16string buffer(10, kGuard);
    EXPECT_EQ(bare.getModuleFileName(buffer.data(), 10), 0u);
    EXPECT_EQ(buffer, u"##########");
}

TEST(SimulatedMachine, LastErrorBelongsToTheThread) {
    SimulatedMachine machine = SimulatedMachine::fromJson("{}");
    EXPECT_FALSE(machine.closeHandle(nullptr));
    EXPECT_EQ(machine.getLastError(), ERROR_INVALID_HANDLE);
    DWORD other = 12345;
    std::thread([&] { other = machine.getLastError(); }).join();
    EXPECT_EQ(other, ERROR_SUCCESS);
    std::thread([&] { machine.createFile(u"\\\\.\\Q:", 0, 0, OPEN_EXISTING, 0); }).join();
    EXPECT_EQ(machine.getLastError(), ERROR_INVALID_HANDLE);
}

TEST(SimulatedMachine, ProcessorFacts) {
    SimulatedMachine bare = SimulatedMachine::fromJson("{}");
    const ProcessorFacts* none = bare.processorFacts();
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->usageMeter);
    EXPECT_TRUE(none->packages.empty());

    SimulatedMachine machine = SimulatedMachine::fromFile(desktopFile());
    const ScopedBackend installed(machine);
    const ProcessorFacts* facts = currentBackend().processorFacts();
    ASSERT_NE(facts, nullptr);
    ASSERT_EQ(facts->packages.size(), 1u);
    EXPECT_EQ(facts->packages[0].usage, 37u);
    EXPECT_EQ(facts->packages[0].temperature.celsius, 45);
}

} // namespace
} // namespace platform::simulated
