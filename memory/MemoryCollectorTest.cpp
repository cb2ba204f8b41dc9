#include "memory/MemoryCollector.h"

#include "devicetree/TestTreeText.h"
#include "platform/FailingBackend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace systemmonitor {
namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

// Answers GlobalMemoryStatusEx with a prepared record, and keeps a copy of what it was given.
class MemoryBackend : public platform::testing::FailingBackend {
public:
    BOOL result = TRUE;
    std::uint64_t total = 0;
    std::uint64_t available = 0;
    std::vector<MEMORYSTATUSEX> received;

    BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) override {
        received.push_back(*status);
        if (!result) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        status->dwMemoryLoad = 62;
        status->ullTotalPhys = total;
        status->ullAvailPhys = available;
        return TRUE;
    }
};

class MemoryCollectorTest : public ::testing::Test {
protected:
    MemoryBackend backend;
    platform::ScopedBackend scope{backend};
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
};

TEST_F(MemoryCollectorTest, PropertiesInMegabytes) {
    struct Case {
        std::uint64_t total;
        std::uint64_t available;
        const char* totalMB;
        const char* usedMB;
    };
    const Case cases[] = {
        {1572864, 524288, "1.5", "1"},
        {(1ull << 63) + (1ull << 62), 1ull << 62, "13194139533312", "8796093022208"},
        {0xFFFFFFFFFFFFFFFFull, 0, "17592186044416", "17592186044416"},
        // A misreporting system with more available than total: the difference is kept as is.
        {1 * kGiB, 2 * kGiB, "1024", "-1024"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.totalMB);
        NodePointer fresh = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
        backend.total = c.total;
        backend.available = c.available;
        collectMemoryDevice(fresh);
        EXPECT_EQ(
            test::describeTree(*fresh),
            std::string("SYSTEM_ROOT \"System Root\" SYSROOT\n  SYSTEM_MEMORY \"System Memory\" "
                        "SYSTEM_MEM PercentCapacityUsed=62 TotalCapacityMB=") +
                c.totalMB + " UsedCapacityMB=" + c.usedMB + "\n");
    }
}

TEST_F(MemoryCollectorTest, RecordIsPreparedWithItsLengthAndZeroes) {
    collectMemoryDevice(root);
    ASSERT_EQ(backend.received.size(), 1u);
    MEMORYSTATUSEX zero;
    std::memset(&zero, 0, sizeof zero);
    zero.dwLength = 64;
    EXPECT_EQ(std::memcmp(&backend.received[0], &zero, sizeof zero), 0);
}

TEST_F(MemoryCollectorTest, FailingStatusAddsNoNode) {
    backend.result = FALSE;
    collectMemoryDevice(root);
    EXPECT_EQ(backend.received.size(), 1u);
    EXPECT_EQ(root->getChildDevices().size(), 0u);
}

} // namespace
} // namespace systemmonitor
