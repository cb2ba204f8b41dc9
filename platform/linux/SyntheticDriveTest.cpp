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

std::string text(const Bytes& data, std::size_t at, std::size_t size) {
    return std::string(data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(at + size));
}

void expectRefused(const ScsiAnswer& answer, std::uint8_t key, std::uint8_t asc) {
    EXPECT_EQ(answer.status, kScsiCheckCondition);
    ASSERT_GE(answer.sense.size(), 14u);
    EXPECT_EQ(answer.sense[0], 0x70);
    EXPECT_EQ(answer.sense[2], key);
    EXPECT_EQ(answer.sense[12], asc);
    EXPECT_TRUE(answer.data.empty());
}

TEST(SyntheticDriveTest, AnswersStandardInquiryWithPaddedFields) {
    const Bytes cdb = {0x12, 0x00, 0x00, 0x00, 0x60, 0x00};
    const ScsiAnswer answer = answerScsiCommand(sataFacts(), cdb);
    EXPECT_EQ(answer.status, kScsiGood);
    ASSERT_EQ(answer.data.size(), 36u);
    EXPECT_EQ(answer.data[0], 0x00);
    EXPECT_EQ(answer.data[1], 0x00);
    EXPECT_EQ(answer.data[2], 5);
    EXPECT_EQ(answer.data[4], 31);
    EXPECT_EQ(text(answer.data, 8, 8), "ATA     ");
    EXPECT_EQ(text(answer.data, 16, 16), "Samsung SSD 860 "); // cut to the field
    EXPECT_EQ(text(answer.data, 32, 4), "3B6Q");
}

TEST(SyntheticDriveTest, LeavesUnknownIdentityFieldsBlank) {
    DriveFacts virtio;
    virtio.serial = "180663671311735";
    const Bytes cdb = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
    const ScsiAnswer answer = answerScsiCommand(virtio, cdb);
    ASSERT_EQ(answer.data.size(), 36u);
    EXPECT_EQ(answer.data[2], 0); // claims no standard
    EXPECT_EQ(text(answer.data, 8, 28), std::string(28, ' '));
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

TEST(SyntheticDriveTest, ListsAndAnswersVitalProductDataPages) {
    DriveFacts facts = sataFacts();
    const ScsiAnswer pages = answerScsiCommand(facts, Bytes{0x12, 0x01, 0x00, 0x00, 0xFF, 0x00});
    EXPECT_EQ(pages.data, (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x80}));

    const ScsiAnswer serial = answerScsiCommand(facts, Bytes{0x12, 0x01, 0x80, 0x00, 0xFF, 0x00});
    ASSERT_EQ(serial.data.size(), 4u + 15u);
    EXPECT_EQ(serial.data[1], 0x80);
    EXPECT_EQ(serial.data[3], 15);
    EXPECT_EQ(text(serial.data, 4, 15), "S3Z9NB0K123456A");

    // A page the kernel cached goes out as it is.
    facts.vpd80 = Bytes{0x00, 0x80, 0x00, 0x04, ' ', 'X', '1', ' '};
    facts.vpd83 = Bytes{0x00, 0x83, 0x00, 0x00};
    EXPECT_EQ(answerScsiCommand(facts, Bytes{0x12, 0x01, 0x80, 0x00, 0xFF, 0x00}).data,
              *facts.vpd80);
    EXPECT_EQ(answerScsiCommand(facts, Bytes{0x12, 0x01, 0x83, 0x00, 0xFF, 0x00}).data,
              *facts.vpd83);
    EXPECT_EQ(answerScsiCommand(facts, Bytes{0x12, 0x01, 0x00, 0x00, 0xFF, 0x00}).data,
              (Bytes{0x00, 0x00, 0x00, 0x03, 0x00, 0x80, 0x83}));

    DriveFacts bare;
    EXPECT_EQ(answerScsiCommand(bare, Bytes{0x12, 0x01, 0x00, 0x00, 0xFF, 0x00}).data,
              (Bytes{0x00, 0x00, 0x00, 0x01, 0x00}));
    expectRefused(answerScsiCommand(bare, Bytes{0x12, 0x01, 0x80, 0x00, 0xFF, 0x00}), 0x05, 0x24);
    expectRefused(answerScsiCommand(facts, Bytes{0x12, 0x01, 0xB1, 0x00, 0xFF, 0x00}), 0x05, 0x24);
    expectRefused(answerScsiCommand(facts, Bytes{0x12, 0x00, 0x80, 0x00, 0xFF, 0x00}), 0x05, 0x24);
}

TEST(SyntheticDriveTest, AnswersTheTemperatureLogPage) {
    DriveFacts facts = sataFacts();
    const ScsiAnswer supported =
        answerScsiCommand(facts, Bytes{0x4D, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00});
    EXPECT_EQ(supported.data, (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x0D}));

    const ScsiAnswer log =
        answerScsiCommand(facts, Bytes{0x4D, 0x00, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00});
    EXPECT_EQ(log.data, (Bytes{0x0D, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x03, 0x02, 0x00, 34, 0x00, 0x01,
                               0x03, 0x02, 0x00, 85}));

    facts.referenceTemperature.reset();
    facts.temperature = 300;
    const ScsiAnswer hot =
        answerScsiCommand(facts, Bytes{0x4D, 0x00, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00});
    EXPECT_EQ(hot.data, (Bytes{0x0D, 0x00, 0x00, 0x06, 0x00, 0x00, 0x03, 0x02, 0x00, 0xFE}));

    facts.temperature.reset(); // no hwmon sensor: the page is not supported
    expectRefused(
        answerScsiCommand(facts, Bytes{0x4D, 0x00, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00}),
        0x05, 0x24);
    EXPECT_EQ(
        answerScsiCommand(facts, Bytes{0x4D, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00})
            .data,
        (Bytes{0x00, 0x00, 0x00, 0x01, 0x00}));
    // Threshold values and subpages are not kept.
    expectRefused(answerScsiCommand(sataFacts(), Bytes{0x4D, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00,
                                                       0x00, 0xFF, 0x00}),
                  0x05, 0x24);
    expectRefused(answerScsiCommand(sataFacts(), Bytes{0x4D, 0x00, 0x4D, 0x01, 0x00, 0x00, 0x00,
                                                       0x00, 0xFF, 0x00}),
                  0x05, 0x24);
}

TEST(SyntheticDriveTest, AnswersCapacityAndReadinessByMedium) {
    DriveFacts facts = sataFacts();
    const ScsiAnswer ten = answerScsiCommand(facts, Bytes{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(ten.data, (Bytes{0x3A, 0x38, 0x60, 0x2F, 0x00, 0x00, 0x02, 0x00}));
    const Bytes sixteen = {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0};
    const ScsiAnswer capacity16 = answerScsiCommand(facts, sixteen);
    ASSERT_EQ(capacity16.data.size(), 32u);
    EXPECT_EQ(capacity16.data[7], 0x2F);
    EXPECT_EQ(capacity16.data[10], 0x02);
    EXPECT_EQ(answerScsiCommand(facts, Bytes{0x00, 0, 0, 0, 0, 0}).status, kScsiGood);

    facts.logicalBlocks = 0x1'0000'0001; // past what READ CAPACITY(10) can say
    EXPECT_EQ(answerScsiCommand(facts, Bytes{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}).data,
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));

    DriveFacts empty;
    empty.removable = true;
    empty.mediumPresent = false;
    expectRefused(answerScsiCommand(empty, Bytes{0x00, 0, 0, 0, 0, 0}), 0x02, 0x3A);
    expectRefused(answerScsiCommand(empty, Bytes{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0x02, 0x3A);
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
    EXPECT_EQ(ataText(block, 10, 10), "ZFL1ABCD            ");
    EXPECT_EQ(ataText(block, 23, 4), "0001    ");
    EXPECT_EQ(block[120] | (block[121] << 8), 0xFFFF); // 28-bit capacity saturated
    EXPECT_EQ(block[122] | (block[123] << 8), 0x0FFF);
    EXPECT_EQ(block[167] & 0x04, 0x04); // 48-bit addressing
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
