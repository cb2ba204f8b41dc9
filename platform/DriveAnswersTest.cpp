#include "platform/DriveAnswers.h"

#include <gtest/gtest.h>

#include <numeric>
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
    facts.serial = "  S3Z9NB0K123456A";
    facts.temperature = 34;
    facts.referenceTemperature = 85;
    facts.logicalBlocks = 976773168;
    facts.ata = true;
    facts.identify = AtaIdentity{"ST2000DM008-2FR102", "ZFL1ABCD", "0001", std::nullopt};
    facts.ataSectors = 3907029168;
    facts.smartTemperature = 41;
    return facts;
}

TEST(DriveAnswersTest, ScsiAnswers) {
    const struct {
        Bytes cdb;
        Bytes data; // empty: only the size is checked
        std::size_t size;
    } cases[] = {
        {{0x12, 0x00, 0x00, 0x00, 0x05, 0x00}, {0x00, 0x00, 0x05, 0x02, 31}, 5},
        {{0x12, 0x00, 0x00, 0x00, 0x00, 0x00}, {}, 0},
        {{0x12, 0x01, 0x00, 0x00, 0xFF, 0x00}, {0x00, 0x00, 0x00, 0x02, 0x00, 0x80}, 6},
        {{0x12, 0x01, 0x80, 0x00, 0x08, 0x00}, {0x00, 0x80, 0x00, 17, ' ', ' ', 'S', '3'}, 8},
        {{0x12, 0x01, 0x80, 0x01, 0x00, 0x00}, {}, 21},
        {{0x4D, 0x00, 0x40, 0, 0, 0, 0, 1, 0, 0}, {0x00, 0x00, 0x00, 0x02, 0x00, 0x0D}, 6},
        {{0x4D, 0x00, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00}, {}, 6},
        {{0x4D, 0x00, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00},
         {0x0D, 0, 0, 12, 0, 0, 3, 2, 0, 34, 0, 1, 3, 2, 0, 85},
         16},
        {{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x3A, 0x38, 0x60, 0x2F, 0, 0, 2, 0}, 8},
        {{0x00, 0, 0, 0, 0, 0}, {}, 0},
        // ATA PASS-THROUGH (12) and (16) reach the ATA answers.
        {{0xA1, 8, 0x0E, 0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0}, {}, 512},
        {{0x85, 8, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0}, {}, 512},
    };
    for (const auto& c : cases) {
        const ScsiAnswer answer = answerScsiCommand(sataFacts(), c.cdb);
        EXPECT_EQ(answer.status, kScsiGood) << int(c.cdb[0]) << " " << int(c.cdb[2]);
        EXPECT_EQ(answer.data.size(), c.size) << int(c.cdb[0]) << " " << int(c.cdb[2]);
        if (!c.data.empty()) {
            EXPECT_EQ(answer.data, c.data) << int(c.cdb[0]) << " " << int(c.cdb[2]);
        }
    }
    const ScsiAnswer standard = answerScsiCommand(sataFacts(), Bytes{0x12, 0, 0, 0, 96, 0});
    EXPECT_EQ(std::string(standard.data.begin() + 8, standard.data.end()),
              "ATA     Samsung SSD 860 3B6Q");
}

TEST(DriveAnswersTest, RefusesWhatItDoesNotAnswer) {
    DriveFacts noScsi = sataFacts();
    noScsi.speaksScsi = false;
    DriveFacts bare;
    bare.standardInquiry = false;
    bare.mediumPresent = false;
    DriveFacts noSmart = sataFacts();
    noSmart.smartTemperature.reset();
    const Bytes ata16 = {0x85, 8, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
    const Bytes smart12 = {0xA1, 8, 0x0E, 0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0};
    const struct {
        const char* name;
        const DriveFacts& facts;
        Bytes cdb;
        std::uint8_t key;
        std::uint8_t asc;
    } cases[] = {
        {"empty", sataFacts(), {}, 0x05, 0x20},
        {"READ(10)", sataFacts(), {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0x05, 0x20},
        {"cut short", sataFacts(), {0x4D, 0x00, 0x4D}, 0x05, 0x24},
        {"other service action",
         sataFacts(),
         {0x9E, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0},
         0x05,
         0x24},
        {"page code without EVPD", sataFacts(), {0x12, 0, 0x80, 0, 36, 0}, 0x05, 0x24},
        {"unknown VPD page", sataFacts(), {0x12, 1, 0x83, 0, 36, 0}, 0x05, 0x24},
        {"log subpage", sataFacts(), {0x4D, 0, 0x4D, 1, 0, 0, 0, 1, 0, 0}, 0x05, 0x24},
        {"log threshold values", sataFacts(), {0x4D, 0, 0x0D, 0, 0, 0, 0, 1, 0, 0}, 0x05, 0x24},
        {"no inquiry data", bare, {0x12, 0, 0, 0, 36, 0}, 0x05, 0x24},
        {"no serial", bare, {0x12, 1, 0x80, 0, 36, 0}, 0x05, 0x24},
        {"no temperature", bare, {0x4D, 0, 0x4D, 0, 0, 0, 0, 1, 0, 0}, 0x05, 0x24},
        {"no medium", bare, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x02, 0x3A},
        {"no medium, unit ready", bare, {0x00, 0, 0, 0, 0, 0}, 0x02, 0x3A},
        {"inquiry without SCSI", noScsi, {0x12, 0, 0, 0, 36, 0}, 0x05, 0x20},
        {"pass-through without ATA", bare, ata16, 0x05, 0x20},
        {"aborted ATA command", noSmart, smart12, 0x0B, 0x00},
    };
    for (const auto& c : cases) {
        const ScsiAnswer answer = answerScsiCommand(c.facts, c.cdb);
        EXPECT_EQ(answer.status, kScsiCheckCondition) << c.name;
        EXPECT_TRUE(answer.data.empty()) << c.name;
        ASSERT_EQ(answer.sense.size(), 18u) << c.name;
        EXPECT_EQ(answer.sense[0], 0x70) << c.name;
        EXPECT_EQ(answer.sense[2], c.key) << c.name;
        EXPECT_EQ(answer.sense[12], c.asc) << c.name;
    }
    EXPECT_FALSE(isSynthesizedScsiCommand(0x85));
    EXPECT_TRUE(isSynthesizedScsiCommand(0x12));
}

TEST(DriveAnswersTest, AtaCommands) {
    DriveFacts none = sataFacts();
    none.identify.reset();
    none.smartTemperature.reset();
    const struct {
        const char* name;
        const DriveFacts& facts;
        AtaTaskFile in;
        bool aborted;
        std::size_t dataSize;
    } cases[] = {
        {"identify", sataFacts(), {0, 1, 0, 0, 0, 0xA0, 0xEC}, false, 512},
        {"smart read data", sataFacts(), {0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}, false, 512},
        {"smart return status", sataFacts(), {0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0}, false, 0},
        {"smart without signature", sataFacts(), {0xD0, 1, 0, 0, 0, 0xA0, 0xB0}, true, 0},
        {"smart read thresholds", sataFacts(), {0xD1, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}, true, 0},
        {"read sectors", sataFacts(), {0, 1, 0, 0, 0, 0xE0, 0x20}, true, 0},
        {"identify not known", none, {0, 1, 0, 0, 0, 0xA0, 0xEC}, true, 0},
        {"smart not known", none, {0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}, true, 0},
    };
    for (const auto& c : cases) {
        const AtaAnswer answer = answerAtaCommand(c.facts, c.in);
        EXPECT_EQ(answer.aborted, c.aborted) << c.name;
        EXPECT_EQ(answer.data.size(), c.dataSize) << c.name;
        EXPECT_EQ(answer.registers.command, c.aborted ? 0x51 : 0x50) << c.name;
        EXPECT_EQ(answer.registers.features, c.aborted ? 0x04 : 0x00) << c.name;
    }
    EXPECT_EQ(answerAtaCommand(sataFacts(), cases[1].in).data[7], 41);
}

std::string ataText(const Block512& block, std::size_t word, std::size_t words) {
    std::string text;
    for (std::size_t i = 0; i < words; ++i) {
        text.push_back(static_cast<char>(block[(word + i) * 2 + 1]));
        text.push_back(static_cast<char>(block[(word + i) * 2]));
    }
    return text;
}

std::uint16_t word(const Block512& block, std::size_t index) {
    return static_cast<std::uint16_t>(block[2 * index] | (block[2 * index + 1] << 8));
}

unsigned byteSum(const Block512& block) {
    return std::accumulate(block.begin(), block.end(), 0u) & 0xFF;
}

TEST(DriveAnswersTest, BuildsIdentifyAndSmartBlocks) {
    const Block512 block = identifyBlock(sataFacts());
    EXPECT_EQ(word(block, 0), 0x40);
    EXPECT_EQ(ataText(block, 27, 20), "ST2000DM008-2FR102                      ");
    EXPECT_EQ(ataText(block, 10, 10), "ZFL1ABCD            ");
    EXPECT_EQ(ataText(block, 23, 4), "0001    ");
    EXPECT_EQ(word(block, 60), 0xFFFF);          // 28-bit capacity saturated
    EXPECT_EQ(word(block, 83) & 0x0400, 0x0400); // 48-bit addressing
    EXPECT_EQ(word(block, 82) & 1, 1);           // SMART supported
    const std::uint64_t lba48 = std::uint64_t{word(block, 100)} |
                                std::uint64_t{word(block, 101)} << 16 |
                                std::uint64_t{word(block, 102)} << 32;
    EXPECT_EQ(lba48, 3907029168u);
    EXPECT_EQ(block[510], 0xA5);
    EXPECT_EQ(byteSum(block), 0u);

    DriveFacts small = sataFacts();
    small.removable = true;
    small.ataSectors.reset();
    small.smartTemperature.reset();
    const Block512 bare = identifyBlock(small);
    EXPECT_EQ(word(bare, 0), 0x80); // removable media
    EXPECT_EQ(word(bare, 49), 0);   // no LBA capacity known
    EXPECT_EQ(word(bare, 82) & 1, 0);

    Block512 recorded{};
    recorded[7] = 9;
    small.identify->recorded = recorded;
    EXPECT_EQ(identifyBlock(small), recorded);

    // Negative temperatures are stored as their two's-complement byte; the checksum still holds.
    for (const int temperature : {0, 255, -5}) {
        const Block512 smart = smartDataBlock(temperature);
        EXPECT_EQ(smart[2], 194);
        EXPECT_EQ(smart[2 + 5], static_cast<std::uint8_t>(temperature));
        EXPECT_EQ(byteSum(smart), 0u) << temperature;
    }
}

} // namespace
} // namespace platform
