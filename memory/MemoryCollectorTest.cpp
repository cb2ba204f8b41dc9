#include "memory/MemoryCollector.h"

#include "devicetree/TestTreeText.h"
#include "platform/testing/FailingBackend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
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

TEST(MemoryCollectorTest, OneRequestPerCollectionPropertiesInMegabytes) {
    MemoryBackend backend;
    const platform::ScopedBackend scope(backend);
    struct Case {
        BOOL result;
        std::uint64_t total;
        std::uint64_t available;
        const char* totalMB; // null: no memory node
        const char* usedMB;
    };
    const Case cases[] = {
        {TRUE, 1572864, 524288, "1.5", "1"},
        {TRUE, (1ull << 63) + (1ull << 62), 1ull << 62, "13194139533312", "8796093022208"},
        // A misreporting system with more available than total: the difference is kept as is.
        {TRUE, 1 * kGiB, 2 * kGiB, "1024", "-1024"},
        {FALSE, 0, 0, nullptr, nullptr},
    };
    MEMORYSTATUSEX prepared; // what each request must carry: its length, and zeros
    std::memset(&prepared, 0, sizeof prepared);
    prepared.dwLength = 64;
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
        backend.result = c.result;
        backend.total = c.total;
        backend.available = c.available;
        collectMemoryDevice(root);
        ASSERT_EQ(backend.received.size(), static_cast<std::size_t>(&c - cases + 1));
        EXPECT_EQ(std::memcmp(&backend.received.back(), &prepared, sizeof prepared), 0);
        const std::string memory = c.totalMB == nullptr
                                       ? ""
                                       : std::string("  SYSTEM_MEMORY \"System Memory\" SYSTEM_MEM "
                                                     "PercentCapacityUsed=62 TotalCapacityMB=") +
                                             c.totalMB + " UsedCapacityMB=" + c.usedMB + "\n";
        EXPECT_EQ(test::describeTree(*root), "SYSTEM_ROOT \"System Root\" SYSROOT\n" + memory);
    }
}

} // namespace
} // namespace systemmonitor
