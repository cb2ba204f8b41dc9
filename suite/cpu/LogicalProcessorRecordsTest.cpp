#include "suite/cpu/LogicalProcessorRecords.h"

#include "suite/cpu/TestFiles.h"

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

// A PROCESSOR_RELATIONSHIP record over (group, mask) pairs.
void appendProcessors(Bytes& buffer, std::uint32_t relation,
                      const std::vector<std::pair<std::uint16_t, std::uint64_t>>& groups) {
    Bytes record(glpi::kGroupMaskOffset + groups.size() * glpi::kGroupAffinitySize, 0);
    put(record, 0, relation, 4);
    put(record, 4, record.size(), 4);
    put(record, glpi::kGroupCountOffset, groups.size(), 2);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::size_t at = glpi::kGroupMaskOffset + g * glpi::kGroupAffinitySize;
        put(record, at, groups[g].second, 8);
        put(record, at + 8, groups[g].first, 2);
    }
    buffer.insert(buffer.end(), record.begin(), record.end());
}

// A record of another relation (a cache) that must be skipped.
void appendCache(Bytes& buffer) {
    Bytes record(48, 0);
    put(record, 0, 2, 4);
    put(record, 4, record.size(), 4);
    put(record, 8, 0xFFFFFFFF, 4);
    buffer.insert(buffer.end(), record.begin(), record.end());
}

Bytes readRecording(std::string_view name) {
    const std::string text = test::readTestData(name);
    return Bytes(text.begin(), text.end());
}

TEST(LogicalProcessorRecordsTest, WineOnTheEpycVirtualMachine) {
    const auto packages =
        decodeLogicalProcessorRecords(readRecording("glpiex-wine8-epyc-vm-2cpu.bin"));
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(packages[0].mask.getProcessors(), (Processors{0, 1}));
    ASSERT_EQ(packages[0].cores.size(), 2u);
    EXPECT_EQ(packages[0].cores[0].number, 0u);
    EXPECT_EQ(packages[0].cores[0].mask.getProcessors(), Processors{0});
    EXPECT_EQ(packages[0].cores[1].number, 1u);
    EXPECT_EQ(packages[0].cores[1].mask.getProcessors(), Processors{1});
}

TEST(LogicalProcessorRecordsTest, TwoSocketsInTwoProcessorGroups) {
    // 2 x 20 cores x 2 threads: Windows puts each socket's 40 processors in a group of its own.
    Bytes buffer;
    appendProcessors(buffer, glpi::kRelationProcessorPackage, {{0, (1ull << 40) - 1}});
    appendProcessors(buffer, glpi::kRelationProcessorPackage, {{1, (1ull << 40) - 1}});
    for (std::uint16_t group = 0; group < 2; ++group) {
        for (unsigned core = 0; core < 20; ++core) {
            appendProcessors(buffer, glpi::kRelationProcessorCore, {{group, 3ull << (2 * core)}});
            appendCache(buffer);
        }
    }
    const auto packages = decodeLogicalProcessorRecords(buffer);
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[1].id, 1u);
    EXPECT_EQ(packages[1].mask.getCount(), 40u);
    EXPECT_EQ(packages[1].mask.getProcessors().front(), 64u);
    EXPECT_EQ(packages[1].mask.getProcessors().back(), 103u);
    ASSERT_EQ(packages[0].cores.size(), 20u);
    ASSERT_EQ(packages[1].cores.size(), 20u);
    EXPECT_EQ(packages[1].cores[0].mask.getProcessors(), (Processors{64, 65}));
    EXPECT_EQ(packages[1].cores[19].number, 19u);
    EXPECT_EQ(packages[1].cores[19].mask.getProcessors(), (Processors{102, 103}));
}

TEST(LogicalProcessorRecordsTest, OnePackageAcrossTwoGroups) {
    Bytes buffer;
    appendProcessors(buffer, glpi::kRelationProcessorPackage, {{0, ~0ull}, {1, 0xFF}});
    appendProcessors(buffer, glpi::kRelationProcessorCore, {{1, 0x80}});
    appendProcessors(buffer, glpi::kRelationProcessorCore, {{0, 0x1}});
    const auto packages = decodeLogicalProcessorRecords(buffer);
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(packages[0].mask.getCount(), 72u);
    ASSERT_EQ(packages[0].cores.size(), 2u);
    EXPECT_EQ(packages[0].cores[0].mask.getProcessors(), Processors{71});
    EXPECT_EQ(packages[0].cores[1].mask.getProcessors(), Processors{0});
}

TEST(LogicalProcessorRecordsTest, DamagedBuffersKeepWhatCameBefore) {
    Bytes good;
    appendProcessors(good, glpi::kRelationProcessorPackage, {{0, 0x3}});
    appendProcessors(good, glpi::kRelationProcessorCore, {{0, 0x1}});

    struct Case {
        const char* name;
        std::function<Bytes()> make;
        std::size_t packages;
        std::size_t cores;
    };
    const Case cases[] = {
        {"empty", [] { return Bytes{}; }, 0, 0},
        {"header cut short",
         [] {
             return Bytes{3, 0, 0};
         },
         0, 0},
        {"whole", [&] { return good; }, 1, 1},
        {"zero size stops",
         [&] {
             Bytes b = good;
             Bytes bad(16, 0);
             b.insert(b.end(), bad.begin(), bad.end());
             appendProcessors(b, glpi::kRelationProcessorCore, {{0, 0x2}});
             return b;
         },
         1, 1},
        {"size past the end stops",
         [&] {
             Bytes b = good;
             appendProcessors(b, glpi::kRelationProcessorCore, {{0, 0x2}});
             b.resize(b.size() - 1);
             return b;
         },
         1, 1},
        {"group count beyond the record is skipped",
         [&] {
             Bytes b = good;
             const std::size_t at = b.size();
             appendProcessors(b, glpi::kRelationProcessorCore, {{0, 0x2}});
             put(b, at + glpi::kGroupCountOffset, 5, 2);
             appendProcessors(b, glpi::kRelationProcessorCore, {{0, 0x2}});
             return b;
         },
         1, 2},
        {"core outside every package is left out",
         [&] {
             Bytes b = good;
             appendProcessors(b, glpi::kRelationProcessorCore, {{3, 0x1}});
             return b;
         },
         1, 1},
        {"cores without a package form one",
         [] {
             Bytes b;
             appendProcessors(b, glpi::kRelationProcessorCore, {{0, 0x1}});
             appendProcessors(b, glpi::kRelationProcessorCore, {{0, 0x6}});
             return b;
         },
         1, 2},
        {"empty masks are skipped",
         [&] {
             Bytes b = good;
             appendProcessors(b, glpi::kRelationProcessorCore, {{0, 0}});
             appendProcessors(b, glpi::kRelationProcessorPackage, {});
             return b;
         },
         1, 1},
    };
    for (const Case& c : cases) {
        const auto packages = decodeLogicalProcessorRecords(c.make());
        ASSERT_EQ(packages.size(), c.packages) << c.name;
        if (!packages.empty()) {
            EXPECT_EQ(packages[0].cores.size(), c.cores) << c.name;
        }
    }
}

} // namespace
} // namespace libSysTopo::cpu
