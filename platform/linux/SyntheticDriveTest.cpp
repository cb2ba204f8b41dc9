#include "platform/linux/SyntheticDrive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

DriveFacts sataFacts() {
    DriveFacts facts;
    facts.scsiVersion = 5;
    facts.vendor = "ATA";
    facts.product = "Samsung SSD 860 EVO 500GB";
    facts.revision = "3B6Q";
    facts.serial = "S3Z9NB0K123456A";
    facts.temperature = 34;
    facts.referenceTemperature = 85;
    facts.logicalBlocks = 976773168;
    return facts;
}

void expectRefused(const ScsiAnswer& answer, std::uint8_t key, std::uint8_t asc) {
    EXPECT_EQ(answer.status, kScsiCheckCondition);
    ASSERT_GE(answer.sense.size(), 14u);
    EXPECT_EQ(answer.sense[0], 0x70);
    EXPECT_EQ(answer.sense[2], key);
    EXPECT_EQ(answer.sense[12], asc);
    EXPECT_TRUE(answer.data.empty());
}

TEST(SyntheticDriveTest, CutsAnswersToTheAllocationLength) {
    const struct {
        Bytes cdb;
        std::size_t size;
    } cases[] = {
        {{0x12, 0x00, 0x00, 0x00, 0x05, 0x00}, 5},
        {{0x12, 0x00, 0x00, 0x00, 0x00, 0x00}, 0},
        {{0x12, 0x01, 0x80, 0x00, 0x08, 0x00}, 8},
        {{0x12, 0x01, 0x80, 0x01, 0x00, 0x00}, 19},
        {{0x4D, 0x00, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00}, 6},
        {{0x4D, 0x00, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}, 16},
    };
    for (const auto& c : cases) {
        const ScsiAnswer answer = answerScsiCommand(sataFacts(), c.cdb);
        EXPECT_EQ(answer.status, kScsiGood);
        EXPECT_EQ(answer.data.size(), c.size) << int(c.cdb[0]) << " " << int(c.cdb[4]);
    }
}

TEST(SyntheticDriveTest, RefusesWhatItDoesNotAnswer) {
    const struct {
        Bytes cdb;
        std::uint8_t asc;
    } cases[] = {
        {{}, 0x20},
        {{0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0x20}, // READ(10)
        {{0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0},
         0x20},                                                          // ATA PASS-THROUGH(16)
        {{0x4D, 0x00, 0x4D}, 0x20},                                      // cut short
        {{0x9E, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 0x24}, // another service action
    };
    for (const auto& c : cases) {
        expectRefused(answerScsiCommand(sataFacts(), c.cdb), 0x05, c.asc);
    }
    EXPECT_FALSE(isSynthesizedScsiCommand(0x85));
    EXPECT_TRUE(isSynthesizedScsiCommand(0x12));
}

std::string ataText(const std::array<std::uint8_t, 512>& block, std::size_t word,
                    std::size_t words) {
    std::string text;
    for (std::size_t i = 0; i < words; ++i) {
        text.push_back(static_cast<char>(block[(word + i) * 2 + 1]));
        text.push_back(static_cast<char>(block[(word + i) * 2]));
    }
    return text;
}

TEST(SyntheticDriveTest, BuildsAnIdentifyBlockFromTexts) {
    const auto block =
        synthesizeIdentify("ST2000DM008-2FR102", "ZFL1ABCD", "0001", 3907029168, false);
    EXPECT_EQ(block[0], 0x40);
    EXPECT_EQ(ataText(block, 27, 20), "ST2000DM008-2FR102                      ");
    EXPECT_EQ(block[120] | (block[121] << 8), 0xFFFF); // 28-bit capacity saturated
    EXPECT_EQ(block[167] & 0x04, 0x04);                // 48-bit addressing
    const std::uint64_t lba48 = std::uint64_t{block[200]} | std::uint64_t{block[201]} << 8 |
                                std::uint64_t{block[202]} << 16 | std::uint64_t{block[203]} << 24;
    EXPECT_EQ(lba48, 3907029168u);
    EXPECT_EQ(block[510], 0xA5);
    std::uint8_t sum = 0;
    for (const auto b : block) {
        sum = static_cast<std::uint8_t>(sum + b);
    }
    EXPECT_EQ(sum, 0);

    const auto small = synthesizeIdentify("", "", "", 1000, true);
    EXPECT_EQ(small[0], 0x80); // removable media
    EXPECT_EQ(small[120] | (small[121] << 8), 1000);
    EXPECT_EQ(small[167] & 0x04, 0);
}

} // namespace
} // namespace platform
