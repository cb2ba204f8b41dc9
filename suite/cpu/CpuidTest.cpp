#include "suite/cpu/Cpuid.h"

#include "suite/cpu/TestFiles.h"

#include <map>
#include <sstream>

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

using Leaves = std::map<std::pair<std::uint32_t, std::uint32_t>, CpuidRegisters>;

// A recorded dump: "leaf subleaf eax ebx ecx edx" in hexadecimal, '#' starts a comment.
Leaves loadLeaves(std::string_view name) {
    Leaves leaves;
    std::istringstream lines(test::readTestData(name));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::uint32_t leaf = 0;
        std::uint32_t subleaf = 0;
        CpuidRegisters r;
        fields >> std::hex >> leaf >> subleaf >> r.eax >> r.ebx >> r.ecx >> r.edx;
        EXPECT_TRUE(fields) << name << ": " << line;
        leaves[{leaf, subleaf}] = r;
    }
    return leaves;
}

// Answers from the dump and records what was asked.
struct RecordedProcessor {
    Leaves leaves;
    std::vector<std::uint32_t> asked;

    CpuidQuery query() {
        return [this](std::uint32_t leaf, std::uint32_t subleaf) -> std::optional<CpuidRegisters> {
            asked.push_back(leaf);
            const auto found = leaves.find({leaf, subleaf});
            if (found == leaves.end()) {
                return std::nullopt;
            }
            return found->second;
        };
    }
};

TEST(CpuidTest, DecodesRecordedProcessors) {
    struct Case {
        std::string_view file;
        std::string_view vendor;
        std::string_view brand;
        CpuidSignature signature;
        std::optional<CpuidFrequencies> frequencies;
    };
    const Case cases[] = {
        {"cpuid-epyc-vm-2cpu.txt",
         "AuthenticAMD",
         "Oxide Virtual Turin-like Processor",
         {0x00B00F21, 0xF, 0x2, 0x1, 0x0B, 0x0},
         std::nullopt},
        {"cpuid-core-i7-8700.txt",
         "GenuineIntel",
         "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz",
         {0x000906EA, 0x6, 0xE, 0xA, 0x0, 0x9},
         CpuidFrequencies{3200, 4600, 100}},
        {"cpuid-core2-e6600.txt",
         "GenuineIntel",
         "Intel(R) Core(TM)2 CPU          6600  @ 2.40GHz",
         {0x6F6, 0x6, 0xF, 0x6, 0x0, 0x0},
         std::nullopt},
        {"cpuid-pentium4-northwood.txt",
         "GenuineIntel",
         "Intel(R) Pentium(R) 4 CPU 2.80GHz",
         {0xF29, 0xF, 0x2, 0x9, 0x0, 0x0},
         std::nullopt},
        {"cpuid-pentium3-coppermine.txt",
         "GenuineIntel",
         "",
         {0x683, 0x6, 0x8, 0x3, 0x0, 0x0},
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        RecordedProcessor processor{loadLeaves(c.file), {}};
        const CpuidIdentity identity = readCpuidIdentity(processor.query());
        EXPECT_EQ(identity.vendor, c.vendor);
        EXPECT_EQ(identity.brand, c.brand);
        ASSERT_TRUE(identity.signature.has_value());
        EXPECT_EQ(identity.signature->signature, c.signature.signature);
        EXPECT_EQ(identity.signature->family, c.signature.family);
        EXPECT_EQ(identity.signature->model, c.signature.model);
        EXPECT_EQ(identity.signature->stepping, c.signature.stepping);
        EXPECT_EQ(identity.signature->extFamily, c.signature.extFamily);
        EXPECT_EQ(identity.signature->extModel, c.signature.extModel);
        ASSERT_EQ(identity.frequencies.has_value(), c.frequencies.has_value());
        if (c.frequencies) {
            EXPECT_EQ(identity.frequencies->baseMHz, c.frequencies->baseMHz);
            EXPECT_EQ(identity.frequencies->maxMHz, c.frequencies->maxMHz);
            EXPECT_EQ(identity.frequencies->busMHz, c.frequencies->busMHz);
        }
    }
}

TEST(CpuidTest, AsksOnlyForLeavesTheProcessorLists) {
    // The Core 2 lists basic leaves up to 0xA: leaf 0x16 would answer another leaf's data.
    RecordedProcessor core2{loadLeaves("cpuid-core2-e6600.txt"), {}};
    core2.leaves[{0x16, 0}] = CpuidRegisters{0x07280202, 0, 0, 0x503};
    const auto identity = readCpuidIdentity(core2.query());
    EXPECT_FALSE(identity.frequencies.has_value());
    EXPECT_EQ(std::count(core2.asked.begin(), core2.asked.end(), 0x16u), 0);

    // The Pentium III's extended maximum is not an extended leaf number: no brand leaves.
    RecordedProcessor pentium3{loadLeaves("cpuid-pentium3-coppermine.txt"), {}};
    readCpuidIdentity(pentium3.query());
    EXPECT_EQ(std::count(pentium3.asked.begin(), pentium3.asked.end(), 0x80000002u), 0);
}

TEST(CpuidTest, MissingLeavesLeaveTheirFieldsEmpty) {
    RecordedProcessor none{{}, {}};
    const auto nothing = readCpuidIdentity(none.query());
    EXPECT_EQ(nothing.vendor, "");
    EXPECT_EQ(nothing.brand, "");
    EXPECT_FALSE(nothing.signature.has_value());
    EXPECT_FALSE(nothing.frequencies.has_value());

    // A brand leaf that fails to answer drops the whole brand, not a third of it.
    RecordedProcessor partial{loadLeaves("cpuid-core-i7-8700.txt"), {}};
    partial.leaves.erase({0x80000003, 0});
    partial.leaves.erase({1, 0});
    const auto identity = readCpuidIdentity(partial.query());
    EXPECT_EQ(identity.brand, "");
    EXPECT_FALSE(identity.signature.has_value());
    EXPECT_EQ(identity.vendor, "GenuineIntel");
    EXPECT_TRUE(identity.frequencies.has_value());
}

TEST(CpuidTest, SignatureFieldsAreRawBitRanges) {
    struct Case {
        std::uint32_t eax;
        CpuidSignature expected;
    };
    const Case cases[] = {
        {0x00000000, {0, 0, 0, 0, 0, 0}},
        {0x000006F6, {0x6F6, 6, 0xF, 6, 0, 0}},
        {0xFFFFFFFF, {0xFFFFFFFF, 0xF, 0xF, 0xF, 0xFF, 0xF}},
        // Reserved and processor-type bits (31:28, 15:12) belong to no field.
        {0xF000F000, {0xF000F000, 0, 0, 0, 0, 0}},
        {0x00A20F10, {0x00A20F10, 0xF, 1, 0, 0x0A, 0x2}},
    };
    for (const Case& c : cases) {
        const CpuidSignature s = decodeSignature(c.eax);
        EXPECT_EQ(s.signature, c.expected.signature);
        EXPECT_EQ(s.family, c.expected.family) << std::hex << c.eax;
        EXPECT_EQ(s.model, c.expected.model) << std::hex << c.eax;
        EXPECT_EQ(s.stepping, c.expected.stepping) << std::hex << c.eax;
        EXPECT_EQ(s.extFamily, c.expected.extFamily) << std::hex << c.eax;
        EXPECT_EQ(s.extModel, c.expected.extModel) << std::hex << c.eax;
    }
}

TEST(CpuidTest, BrandStringStopsAtTheFirstZeroAndIsTrimmed) {
    std::array<CpuidRegisters, 3> leaves{};
    EXPECT_EQ(decodeBrandString(leaves), "");
    leaves[0] = {0x20202020, 0x00434241, 0x46454420, 0x20202020}; // "    ABC\0 DEF    "
    EXPECT_EQ(decodeBrandString(leaves), "ABC");
    // 48 characters without a terminating zero.
    leaves.fill({0x41414141, 0x41414141, 0x41414141, 0x41414141});
    EXPECT_EQ(decodeBrandString(leaves), std::string(48, 'A'));
}

TEST(CpuidTest, FrequencyLeafUsesTheLowSixteenBits) {
    EXPECT_FALSE(decodeFrequencies({0, 0, 0, 0}).has_value());
    EXPECT_FALSE(decodeFrequencies({0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 7}).has_value());
    const auto busOnly = decodeFrequencies({0, 0, 100, 0});
    ASSERT_TRUE(busOnly.has_value());
    EXPECT_EQ(busOnly->baseMHz, 0u);
    EXPECT_EQ(busOnly->busMHz, 100u);
}

TEST(CpuidTest, LiveProcessorAnswersItsOwnRanges) {
    const auto leaf0 = queryCpuid(0);
    if (!leaf0) {
        GTEST_SKIP() << "no CPUID instruction";
    }
    EXPECT_GE(leaf0->eax, 1u);
    EXPECT_EQ(queryCpuid(leaf0->eax + 1), std::nullopt);
    const CpuidIdentity identity = readCpuidIdentity(
        [](std::uint32_t leaf, std::uint32_t subleaf) { return queryCpuid(leaf, subleaf); });
    EXPECT_EQ(identity.vendor.size(), 12u);
    ASSERT_TRUE(identity.signature.has_value());
    EXPECT_NE(identity.signature->signature, 0u);
}

} // namespace
} // namespace libSysTopo::cpu
