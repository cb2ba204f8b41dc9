#include "suite/cpu/CpuList.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

using List = std::vector<unsigned>;

TEST(CpuListTest, ParsesTheKernelFormat) {
    struct Case {
        std::string_view text;
        std::optional<List> cpus;
    };
    const Case cases[] = {
        {"0-3,8,10-11\n", List{0, 1, 2, 3, 8, 10, 11}},
        {"12,0", List{0, 12}},
        {"0-2,1-3", List{0, 1, 2, 3}},
        {"", List{}},
        {"3-1", std::nullopt},
        {"0-", std::nullopt},
        {"0,,1", std::nullopt},
        {"0,", std::nullopt},
        {"0-3x", std::nullopt},
        {"1-2-3", std::nullopt},
        {"65535", List{65535}},
        {"65536", std::nullopt},
        {"0-4294967295", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseCpuList(c.text), c.cpus) << '"' << c.text << '"';
    }
}

TEST(CpuListTest, WideOverlappingRangesStayBounded) {
    std::string text = "0-65535";
    for (int i = 0; i < 300; ++i) {
        text += ",0-65535";
    }
    const auto cpus = parseCpuList(text);
    ASSERT_TRUE(cpus.has_value());
    EXPECT_EQ(cpus->size(), 65536u);
    EXPECT_EQ(cpus->back(), 65535u);
}

} // namespace
} // namespace libSysTopo::cpu
