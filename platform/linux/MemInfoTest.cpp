#include "platform/linux/MemInfo.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(MemInfoTest, ReadsTheFourFiguresAndRefusesWhatDoesNotAddUp) {
    constexpr std::uint64_t kB = 1024;
    const struct {
        const char* name;
        std::string_view text;
        std::optional<MemInfo> info;
    } cases[] = {
        {"a recent kernel",
         "MemTotal:       24683772 kB\nMemFree:        20000000 kB\nMemAvailable:   22000000 kB\n"
         "Buffers:          100 kB\nSwapTotal:       1048572 kB\nSwapFree:         1000000 kB\n"
         "Dirty:  x\n",
         MemInfo{24683772 * kB, 22000000 * kB, 1048572 * kB, 1000000 * kB}},
        {"no swap lines", "MemTotal: 100 kB\nMemAvailable: 40 kB\n", MemInfo{100 * kB, 40 * kB}},
        {"before MemAvailable (Linux 3.14)", "MemTotal: 100 kB\nMemFree: 40 kB\n", std::nullopt},
        {"a figure without its unit", "MemTotal: 100\nMemAvailable: 40 kB\n", std::nullopt},
        {"more available than there is", "MemTotal: 10 kB\nMemAvailable: 40 kB\n", std::nullopt},
        {"beyond 2^64 bytes", "MemTotal: 18014398509481984 kB\nMemAvailable: 1 kB\n", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto info = parseMemInfo(c.text);
        ASSERT_EQ(info.has_value(), c.info.has_value()) << c.name;
        if (info) {
            EXPECT_EQ(info->totalBytes, c.info->totalBytes) << c.name;
            EXPECT_EQ(info->availableBytes, c.info->availableBytes) << c.name;
            EXPECT_EQ(info->swapTotalBytes, c.info->swapTotalBytes) << c.name;
            EXPECT_EQ(info->swapFreeBytes, c.info->swapFreeBytes) << c.name;
        }
    }
}

} // namespace
} // namespace platform
