#include "suite/cpu/Cpuid.h"

#include "suite/cpu/testing/TestFiles.h"

#include <algorithm>
#include <array>
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
        leaves[{leaf, subleaf}] = r;
    }
    return leaves;
}

// Answers from the dump and records what was asked.
struct RecordedProcessor {
    Leaves leaves;
    std::vector<std::uint32_t> asked;

    CpuidIdentity identify() {
        return readCpuidIdentity([this](std::uint32_t leaf, std::uint32_t subleaf) {
            asked.push_back(leaf);
            const auto found = leaves.find({leaf, subleaf});
            return found == leaves.end() ? std::nullopt
                                         : std::optional<CpuidRegisters>(found->second);
        });
    }
    bool wasAsked(std::uint32_t leaf) const {
        return std::find(asked.begin(), asked.end(), leaf) != asked.end();
    }
};

TEST(CpuidTest, DecodesRecordedProcessors) {
    struct Case {
        std::string_view file;
        std::string_view vendor;
        std::string_view brand;
        std::uint32_t signature;
        unsigned maxMHz;
    };
    const Case cases[] = {
        {"cpuid-epyc-vm-2cpu.txt", "AuthenticAMD", "Oxide Virtual Turin-like Processor", 0x00B00F21,
         0},
        {"cpuid-core-i7-8700.txt", "GenuineIntel", "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz",
         0x000906EA, 4600},
        {"cpuid-core2-e6600.txt", "GenuineIntel", "Intel(R) Core(TM)2 CPU          6600  @ 2.40GHz",
         0x6F6, 0},
        {"cpuid-pentium3-coppermine.txt", "GenuineIntel", "", 0x683, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        RecordedProcessor processor{loadLeaves(c.file), {}};
        const CpuidIdentity identity = processor.identify();
        EXPECT_EQ(identity.vendor, c.vendor);
        EXPECT_EQ(identity.brand, c.brand);
        ASSERT_TRUE(identity.signature.has_value());
        EXPECT_EQ(identity.signature->signature, c.signature);
        EXPECT_EQ(identity.frequencies ? identity.frequencies->maxMHz : 0u, c.maxMHz);
    }
}

TEST(CpuidTest, AsksOnlyForLeavesTheProcessorListsAndDropsPartialAnswers) {
    // The Core 2 lists basic leaves up to 0xA: leaf 0x16 would answer another leaf's data.
    RecordedProcessor core2{loadLeaves("cpuid-core2-e6600.txt"), {}};
    core2.leaves[{0x16, 0}] = CpuidRegisters{0x07280202, 0, 0, 0x503};
    EXPECT_FALSE(core2.identify().frequencies.has_value());
    EXPECT_FALSE(core2.wasAsked(0x16));

    // The Pentium III's extended maximum is not an extended leaf number: no brand leaves.
    RecordedProcessor pentium3{loadLeaves("cpuid-pentium3-coppermine.txt"), {}};
    pentium3.identify();
    EXPECT_FALSE(pentium3.wasAsked(0x80000002));

    // A brand leaf that fails to answer drops the whole brand, not a third of it.
    RecordedProcessor partial{loadLeaves("cpuid-core-i7-8700.txt"), {}};
    partial.leaves.erase({0x80000003, 0});
    partial.leaves.erase({1, 0});
    const auto identity = partial.identify();
    EXPECT_EQ(identity.brand, "");
    EXPECT_FALSE(identity.signature.has_value());
    EXPECT_EQ(identity.vendor, "GenuineIntel");
}

TEST(CpuidTest, HostileRegisterValues) {
    // Reserved and processor-type bits (31:28, 15:12) belong to no field.
    const CpuidSignature s = decodeSignature(0xF000F000);
    EXPECT_EQ(s.family + s.model + s.stepping + s.extFamily + s.extModel, 0u);
    const CpuidSignature all = decodeSignature(0xFFFFFFFF);
    EXPECT_EQ(all.extFamily, 0xFFu);
    EXPECT_EQ(all.extModel, 0xFu);

    std::array<CpuidRegisters, 3> brand{};
    brand[0] = {0x20202020, 0x00434241, 0x46454420, 0x20202020}; // "    ABC\0 DEF    "
    EXPECT_EQ(decodeBrandString(brand), "ABC");
    brand.fill({0x41414141, 0x41414141, 0x41414141, 0x41414141}); // no terminating zero
    EXPECT_EQ(decodeBrandString(brand), std::string(48, 'A'));

    // Only the low sixteen bits carry a frequency.
    EXPECT_FALSE(decodeFrequencies({0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 7}).has_value());
}

} // namespace
} // namespace libSysTopo::cpu
