#include "memory/MemoryCollector.h"

#include "platform/FailingBackend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace systemmonitor {
namespace {

using sisapi::SysInfoProperty;

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

// Answers GlobalMemoryStatusEx with a prepared record, and keeps a copy of what it was given.
class MemoryBackend : public platform::testing::FailingBackend {
public:
    BOOL result = TRUE;
    DWORD load = 0;
    std::uint64_t total = 0;
    std::uint64_t available = 0;
    std::vector<MEMORYSTATUSEX> received;

    BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) override {
        received.push_back(*status);
        if (!result) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        status->dwMemoryLoad = load;
        status->ullTotalPhys = total;
        status->ullAvailPhys = available;
        status->ullTotalPageFile = 1;
        status->ullAvailVirtual = 2;
        return TRUE;
    }
};

class MemoryCollectorTest : public ::testing::Test {
protected:
    MemoryBackend backend;
    platform::ScopedBackend scope{backend};
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");

    const SysInfoProperty& property(const Device& node, std::uint32_t index) {
        return static_cast<const SysInfoProperty&>(*node.getProperties()[index]);
    }
};

TEST_F(MemoryCollectorTest, EightGigabytesWithThreeAvailable) {
    backend.load = 62;
    backend.total = 8 * kGiB;
    backend.available = 3 * kGiB;
    collectMemoryDevice(root);

    const qel::Array<Device::DevicePointer> children = root->getChildDevices();
    ASSERT_EQ(children.size(), 1u);
    const Device& memory = *children[0];
    EXPECT_EQ(memory.getType(), SYSTEM_MEMORY);
    EXPECT_EQ(memory.getLocalizedName(), "System Memory");
    EXPECT_EQ(memory.getKey(), "SYSTEM_MEM");
    EXPECT_EQ(memory.getChildDevices().size(), 0u);
    EXPECT_EQ(children[0].getCount(), 2u) << "the root's handle and this array's copy only";

    ASSERT_EQ(memory.getProperties().size(), 3u);
    EXPECT_EQ(property(memory, 0).getKey(), "PercentCapacityUsed");
    EXPECT_EQ(property(memory, 0).getValueType(), INTEGER);
    EXPECT_EQ(property(memory, 0).getIntegerValue(), 62);
    EXPECT_EQ(property(memory, 1).getKey(), "TotalCapacityMB");
    EXPECT_EQ(property(memory, 1).getValueType(), DOUBLE);
    EXPECT_EQ(property(memory, 1).getRealValue(), 8192.0);
    EXPECT_EQ(property(memory, 2).getKey(), "UsedCapacityMB");
    EXPECT_EQ(property(memory, 2).getValueType(), DOUBLE);
    EXPECT_EQ(property(memory, 2).getRealValue(), 5120.0);
}

TEST_F(MemoryCollectorTest, Megabytes) {
    struct Case {
        const char* name;
        std::uint64_t total;
        std::uint64_t available;
        double totalMB;
        double usedMB;
    };
    const Case cases[] = {
        {"nothing", 0, 0, 0.0, 0.0},
        {"a part of a megabyte", 1572864, 524288, 1.5, 1.0},
        {"one byte", 1, 0, 9.5367431640625e-07, 9.5367431640625e-07},
        {"all available", 16 * kGiB, 16 * kGiB, 16384.0, 0.0},
        {"2^63 bytes", 1ull << 63, 0, 8796093022208.0, 8796093022208.0},
        {"above 2^63", (1ull << 63) + (1ull << 62), 1ull << 62, 13194139533312.0, 8796093022208.0},
        {"largest count", 0xFFFFFFFFFFFFFFFFull, 0, 17592186044416.0, 17592186044416.0},
        // More available than total (a misreporting system): the difference is kept as is.
        {"available above total", 1 * kGiB, 2 * kGiB, 1024.0, -1024.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NodePointer fresh = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
        backend.total = c.total;
        backend.available = c.available;
        collectMemoryDevice(fresh);
        const qel::Array<Device::DevicePointer> children = fresh->getChildDevices();
        ASSERT_EQ(children.size(), 1u);
        EXPECT_EQ(property(*children[0], 1).getRealValue(), c.totalMB);
        EXPECT_EQ(property(*children[0], 2).getRealValue(), c.usedMB);
        EXPECT_GE(property(*children[0], 1).getRealValue(), 0.0);
    }
}

TEST_F(MemoryCollectorTest, RecordIsPreparedWithItsLengthAndZeroes) {
    backend.total = kGiB;
    collectMemoryDevice(root);
    ASSERT_EQ(backend.received.size(), 1u);
    const MEMORYSTATUSEX& given = backend.received[0];
    EXPECT_EQ(given.dwLength, 64u);
    MEMORYSTATUSEX zero;
    std::memset(&zero, 0, sizeof zero);
    zero.dwLength = 64;
    EXPECT_EQ(std::memcmp(&given, &zero, sizeof zero), 0) << "a member was not zeroed";
}

TEST_F(MemoryCollectorTest, FailingStatusAddsNoNode) {
    backend.result = FALSE;
    NodePointer other = makeNode(SYSTEM_CPU, "System CPU", "SYSCPU");
    root->addChildDevice(other);
    collectMemoryDevice(root);
    EXPECT_EQ(backend.received.size(), 1u);
    const qel::Array<Device::DevicePointer> children = root->getChildDevices();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0]->getKey(), "SYSCPU");
}

TEST_F(MemoryCollectorTest, EveryCallReadsAfreshAndAppendsLast) {
    NodePointer cpu = makeNode(SYSTEM_CPU, "System CPU", "SYSCPU");
    root->addChildDevice(cpu);
    backend.total = 4 * kGiB;
    backend.load = 10;
    collectMemoryDevice(root);
    backend.total = 2 * kGiB;
    backend.load = 90;
    collectMemoryDevice(root);
    EXPECT_EQ(backend.received.size(), 2u);
    const qel::Array<Device::DevicePointer> children = root->getChildDevices();
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0]->getKey(), "SYSCPU");
    EXPECT_EQ(property(*children[1], 0).getIntegerValue(), 10);
    EXPECT_EQ(property(*children[1], 1).getRealValue(), 4096.0);
    EXPECT_EQ(property(*children[2], 0).getIntegerValue(), 90);
    EXPECT_EQ(property(*children[2], 1).getRealValue(), 2048.0);
}

} // namespace
} // namespace systemmonitor
