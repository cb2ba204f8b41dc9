#include "suite/cpu/LogicalProcessorRecords.h"

#include "suite/cpu/testing/TestFiles.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Processors = std::vector<unsigned>;

void put(Bytes& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A PROCESSOR_RELATIONSHIP record over (group, mask) pairs; `count` overrides its group count.
Bytes record(std::uint32_t relation,
             const std::vector<std::pair<std::uint16_t, std::uint64_t>>& groups,
             std::optional<std::uint16_t> count = std::nullopt) {
    Bytes record(glpi::kGroupMaskOffset + groups.size() * glpi::kGroupAffinitySize, 0);
    put(record, 0, relation, 4);
    put(record, 4, record.size(), 4);
    put(record, glpi::kGroupCountOffset, count.value_or(static_cast<std::uint16_t>(groups.size())),
        2);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::size_t at = glpi::kGroupMaskOffset + g * glpi::kGroupAffinitySize;
        put(record, at, groups[g].second, 8);
        put(record, at + 8, groups[g].first, 2);
    }
    return record;
}

Bytes operator+(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The recording holds cache and other records too, which are skipped.
TEST(LogicalProcessorRecordsTest, WineOnTheEpycVirtualMachine) {
    const std::string text = test::readTestData("glpiex-wine8-epyc-vm-2cpu.bin");
    const auto packages = decodeLogicalProcessorRecords(Bytes(text.begin(), text.end()));
    ASSERT_EQ(packages.size(), 1u);
    ASSERT_EQ(packages[0].cores.size(), 2u);
    EXPECT_EQ(packages[0].cores[1].number, 1u);
    EXPECT_EQ(packages[0].cores[1].mask.getProcessors(), Processors{1});
}

TEST(LogicalProcessorRecordsTest, TwoSocketsInTwoProcessorGroups) {
    // 2 x 20 cores x 2 threads: Windows puts each socket's 40 processors in a group of its own.
    Bytes buffer = record(glpi::kRelationProcessorPackage, {{0, (1ull << 40) - 1}}) +
                   record(glpi::kRelationProcessorPackage, {{1, (1ull << 40) - 1}});
    for (std::uint16_t group = 0; group < 2; ++group) {
        for (unsigned core = 0; core < 20; ++core) {
            buffer = buffer + record(glpi::kRelationProcessorCore, {{group, 3ull << (2 * core)}});
        }
    }
    const auto packages = decodeLogicalProcessorRecords(buffer);
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[1].mask.getCount(), 40u);
    ASSERT_EQ(packages[1].cores.size(), 20u);
    EXPECT_EQ(packages[1].cores[19].mask.getProcessors(), (Processors{102, 103}));
}

TEST(LogicalProcessorRecordsTest, DamagedBuffersKeepWhatCameBefore) {
    constexpr std::uint32_t kCore = glpi::kRelationProcessorCore;
    const Bytes good =
        record(glpi::kRelationProcessorPackage, {{0, 0x3}}) + record(kCore, {{0, 0x1}});
    const Bytes cut = record(kCore, {{0, 2}});
    struct Case {
        const char* name;
        Bytes buffer;
        std::size_t packages;
        std::size_t cores; // of the first package
    };
    const Case cases[] = {
        {"header cut short", Bytes{3, 0, 0}, 0, 0},
        {"zero size stops", good + Bytes(16) + record(kCore, {{0, 2}}), 1, 1},
        {"size past the end stops", good + Bytes(cut.begin(), cut.end() - 1), 1, 1},
        {"group count beyond the record is skipped",
         good + record(kCore, {{0, 2}}, 5) + record(kCore, {{0, 2}}), 1, 2},
        {"core outside every package is left out", good + record(kCore, {{3, 1}}), 1, 1},
        {"cores without a package form one", record(kCore, {{0, 1}}) + record(kCore, {{0, 6}}), 1,
         2},
        {"empty masks are skipped",
         good + record(kCore, {{0, 0}}) + record(glpi::kRelationProcessorPackage, {}), 1, 1},
    };
    for (const Case& c : cases) {
        const auto packages = decodeLogicalProcessorRecords(c.buffer);
        ASSERT_EQ(packages.size(), c.packages) << c.name;
        if (!packages.empty()) {
            EXPECT_EQ(packages[0].cores.size(), c.cores) << c.name;
        }
    }
}

} // namespace
} // namespace libSysTopo::cpu
