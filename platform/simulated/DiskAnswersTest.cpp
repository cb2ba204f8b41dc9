#include "platform/simulated/DiskAnswers.h"

#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>

namespace platform::simulated {
namespace {

DiskState diskFrom(const std::string& json) {
    return Machine::fromJsonText(R"({"disks": {"d": )" + json + "}}").initialState().disks.at(u"d");
}

// ATA strings: the first character of each pair in the high byte of its word.
std::string ataString(const Block& block, std::size_t firstWord, std::size_t words) {
    std::string text;
    for (std::size_t w = firstWord; w < firstWord + words; ++w) {
        text.push_back(static_cast<char>(block[2 * w + 1]));
        text.push_back(static_cast<char>(block[2 * w]));
    }
    return text;
}

std::uint16_t word(const Block& block, std::size_t index) {
    return static_cast<std::uint16_t>(block[2 * index] | (block[2 * index + 1] << 8));
}

unsigned byteSum(const Block& block) {
    return std::accumulate(block.begin(), block.end(), 0u) & 0xFF;
}

TEST(DiskAnswers, IdentifyBlockCarriesTheTextsInAtaOrder) {
    const DiskState disk = diskFrom(R"({"length": 256060514304, "ata": {
        "identify": {"model": "Acme SSD 512GB", "serial": "S123", "firmware": "1.0"},
        "smart": {"temperature": 38}}})");
    const Block block = ataIdentifyBlock(disk);
    EXPECT_EQ(word(block, 0), 0x0040);
    EXPECT_EQ(ataString(block, 27, 20), "Acme SSD 512GB" + std::string(26, ' '));
    EXPECT_EQ(ataString(block, 10, 10), "S123" + std::string(16, ' '));
    EXPECT_EQ(ataString(block, 23, 4), "1.0     ");
    // Model "Ac..." puts 'c' in the low byte of word 27, 'A' in the high byte.
    EXPECT_EQ(block[54], 'c');
    EXPECT_EQ(block[55], 'A');
    EXPECT_EQ(block[510], 0xA5);
    EXPECT_EQ(byteSum(block), 0u);
    // SMART supported and enabled, 48-bit capacity in 512-byte sectors.
    EXPECT_EQ(word(block, 82) & 1, 1);
    EXPECT_EQ(word(block, 85) & 1, 1);
    EXPECT_EQ(word(block, 83), 0x4400);
    const std::uint64_t sectors =
        std::uint64_t{word(block, 100)} | std::uint64_t{word(block, 101)} << 16 |
        std::uint64_t{word(block, 102)} << 32 | std::uint64_t{word(block, 103)} << 48;
    EXPECT_EQ(sectors, 256060514304u / 512);
    EXPECT_EQ(word(block, 60) | (word(block, 61) << 16), 0x0FFFFFFF);
}

TEST(DiskAnswers, IdentifyBlockWithoutSmartOrLength) {
    const Block block = ataIdentifyBlock(diskFrom(R"({"ata": {"identify": {}}})"));
    EXPECT_EQ(ataString(block, 27, 20), std::string(40, ' '));
    EXPECT_EQ(word(block, 82), 0);
    EXPECT_EQ(word(block, 49), 0);
    EXPECT_EQ(word(block, 100), 0);
    EXPECT_EQ(byteSum(block), 0u);
}

TEST(DiskAnswers, RecordedIdentifyBlockIsReturnedVerbatim) {
    std::string hex;
    for (int i = 0; i < 512; ++i) {
        static const char digits[] = "0123456789abcdef";
        hex.push_back(digits[(i >> 4) & 0xF]);
        hex.push_back(digits[i & 0xF]);
    }
    const Block block =
        ataIdentifyBlock(diskFrom(R"({"ata": {"identify": {"hex": ")" + hex + R"("}}})"));
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(block[i], i & 0xFF) << i;
    }
}

TEST(DiskAnswers, SmartDataHoldsTheTemperatureAttribute) {
    for (const int temperature : {0, 38, 127, 255, -5}) {
        const Block block = smartDataBlock(temperature);
        EXPECT_EQ(block[0] | (block[1] << 8), 0x0010);
        EXPECT_EQ(block[2], 194);
        EXPECT_EQ(block[2 + 5], static_cast<std::uint8_t>(temperature));
        EXPECT_EQ(block[14], 0); // the next entry is unused
        EXPECT_EQ(byteSum(block), 0u) << temperature;
    }
}

TEST(DiskAnswers, DescriptorPlacesTheStringsAfterTheFixedPart) {
    const DiskState disk = diskFrom(R"({"descriptor": {"removableMedia": true, "busType": 7,
        "vendorId": "ATA", "productId": "Acme SSD", "serialNumber": "S1"}})");
    const Bytes bytes = storageDeviceDescriptor(*disk.descriptor);
    STORAGE_DEVICE_DESCRIPTOR fixed;
    std::memcpy(&fixed, bytes.data(), sizeof(fixed));
    EXPECT_EQ(fixed.Version, 40u);
    EXPECT_EQ(fixed.Size, bytes.size());
    EXPECT_EQ(bytes.size(), 40u + 4 + 9 + 3);
    EXPECT_EQ(fixed.RemovableMedia, 1);
    EXPECT_EQ(static_cast<int>(fixed.BusType), 7);
    EXPECT_EQ(fixed.VendorIdOffset, 40u);
    EXPECT_EQ(fixed.ProductIdOffset, 44u);
    EXPECT_EQ(fixed.ProductRevisionOffset, 0u); // not there
    EXPECT_EQ(fixed.SerialNumberOffset, 53u);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 40), "ATA");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 44), "Acme SSD");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 53), "S1");
    EXPECT_EQ(bytes.back(), 0);
}

TEST(DiskAnswers, AtaCommands) {
    const DiskState disk =
        diskFrom(R"({"ata": {"identify": {"model": "M"}, "smart": {"temperature": 40}}})");
    struct Case {
        const char* name;
        AtaRegisters in;
        bool aborted;
        std::size_t dataSize;
    };
    const Case cases[] = {
        {"identify", {0, 1, 0, 0, 0, 0xA0, 0xEC}, false, 512},
        {"smart read data", {0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}, false, 512},
        {"smart return status", {0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0}, false, 0},
        {"smart enable", {0xD8, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0}, false, 0},
        {"smart without signature", {0xD0, 1, 0, 0, 0, 0xA0, 0xB0}, true, 0},
        {"smart read thresholds", {0xD1, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}, true, 0},
        {"read sectors", {0, 1, 0, 0, 0, 0xE0, 0x20}, true, 0},
    };
    for (const Case& c : cases) {
        const AtaResult result = executeAta(disk, c.in);
        EXPECT_EQ(result.aborted, c.aborted) << c.name;
        EXPECT_EQ(result.data.size(), c.dataSize) << c.name;
        EXPECT_EQ(result.registers.command, c.aborted ? 0x51 : 0x50) << c.name;
        EXPECT_EQ(result.registers.features, c.aborted ? 0x04 : 0x00) << c.name;
    }
    const AtaResult status = executeAta(disk, cases[2].in);
    EXPECT_EQ(status.registers.lbaMid, 0x4F);
    EXPECT_EQ(status.registers.lbaHigh, 0xC2);
    EXPECT_EQ(executeAta(disk, cases[1].in).data[7], 40);
}

TEST(DiskAnswers, AtaCommandsAbortWhenTheFactsAreNotThere) {
    const DiskState disk = diskFrom(R"({"ata": {}})");
    EXPECT_TRUE(executeAta(disk, {0, 1, 0, 0, 0, 0xA0, 0xEC}).aborted);
    EXPECT_TRUE(executeAta(disk, {0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}).aborted);
    EXPECT_TRUE(executeAta(diskFrom("{}"), {0, 1, 0, 0, 0, 0xA0, 0xEC}).aborted);
}

const char* const kScsiDisk = R"({"scsi": {
    "inquiry": {"vendor": "ACME", "product": "Disk 9000", "revision": "A1"},
    "serial": "  SN42", "temperature": 35}})";

ScsiResult run(const DiskState& disk, std::initializer_list<std::uint8_t> cdb) {
    const std::vector<std::uint8_t> bytes(cdb);
    return executeScsi(disk, bytes.data(), bytes.size());
}

TEST(DiskAnswers, StandardInquiry) {
    const ScsiResult result = run(diskFrom(kScsiDisk), {0x12, 0, 0, 0, 96, 0});
    ASSERT_EQ(result.status, kScsiStatusGood);
    ASSERT_EQ(result.data.size(), 36u);
    EXPECT_EQ(result.data[0], 0x00);
    EXPECT_EQ(result.data[4], 31);
    const std::string text(result.data.begin() + 8, result.data.end());
    EXPECT_EQ(text, "ACME    Disk 9000       A1  ");
}

TEST(DiskAnswers, AllocationLengthCutsTheAnswer) {
    const DiskState disk = diskFrom(kScsiDisk);
    EXPECT_EQ(run(disk, {0x12, 0, 0, 0, 5, 0}).data.size(), 5u);
    EXPECT_EQ(run(disk, {0x12, 0, 0, 0, 0, 0}).data.size(), 0u);
    EXPECT_EQ(run(disk, {0x12, 1, 0x80, 0, 4, 0}).data.size(), 4u);
    EXPECT_EQ(run(disk, {0x4D, 0, 0x4D, 0, 0, 0, 0, 0, 6, 0}).data.size(), 6u);
}

TEST(DiskAnswers, VitalProductDataPages) {
    const DiskState disk = diskFrom(kScsiDisk);
    EXPECT_EQ(run(disk, {0x12, 1, 0x00, 0, 255, 0}).data,
              (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x80}));
    EXPECT_EQ(run(disk, {0x12, 1, 0x80, 0, 255, 0}).data,
              (Bytes{0x00, 0x80, 0x00, 0x06, ' ', ' ', 'S', 'N', '4', '2'}));
    const DiskState noSerial = diskFrom(R"({"scsi": {}})");
    EXPECT_EQ(run(noSerial, {0x12, 1, 0x00, 0, 255, 0}).data, (Bytes{0, 0, 0, 1, 0}));
}

TEST(DiskAnswers, TemperatureLogPages) {
    const DiskState disk = diskFrom(kScsiDisk);
    EXPECT_EQ(run(disk, {0x4D, 0, 0x40, 0, 0, 0, 0, 1, 0, 0}).data,
              (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x0D}));
    EXPECT_EQ(run(disk, {0x4D, 0, 0x4D, 0, 0, 0, 0, 1, 0, 0}).data,
              (Bytes{0x0D, 0x00, 0x00, 0x06, 0x00, 0x00, 0x03, 0x02, 0x00, 35}));
}

TEST(DiskAnswers, ScsiCommandsFailWithCheckCondition) {
    struct Case {
        const char* name;
        const char* disk;
        std::vector<std::uint8_t> cdb;
        std::uint8_t senseKey;
        std::uint8_t asc;
    };
    const Case cases[] = {
        {"no inquiry data", R"({"scsi": {}})", {0x12, 0, 0, 0, 36, 0}, 0x05, 0x24},
        {"page code without EVPD", kScsiDisk, {0x12, 0, 0x80, 0, 36, 0}, 0x05, 0x24},
        {"unknown VPD page", kScsiDisk, {0x12, 1, 0x83, 0, 36, 0}, 0x05, 0x24},
        {"serial page not there", R"({"scsi": {}})", {0x12, 1, 0x80, 0, 36, 0}, 0x05, 0x24},
        {"temperature page not there",
         R"({"scsi": {}})",
         {0x4D, 0, 0x4D, 0, 0, 0, 0, 1, 0, 0},
         0x05,
         0x24},
        {"log subpage", kScsiDisk, {0x4D, 0, 0x4D, 1, 0, 0, 0, 1, 0, 0}, 0x05, 0x24},
        {"short LOG SENSE", kScsiDisk, {0x4D, 0, 0x4D, 0, 0, 0}, 0x05, 0x24},
        {"unknown command", kScsiDisk, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x05, 0x20},
        {"inquiry on an ATA-only disk", R"({"ata": {}})", {0x12, 0, 0, 0, 36, 0}, 0x05, 0x20},
        {"ATA pass-through without ATA",
         kScsiDisk,
         {0x85, 8, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0},
         0x05,
         0x20},
        {"aborted ATA command",
         R"({"ata": {}})",
         {0x85, 8, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0},
         0x0B,
         0x00},
    };
    for (const Case& c : cases) {
        const ScsiResult result = executeScsi(diskFrom(c.disk), c.cdb.data(), c.cdb.size());
        EXPECT_EQ(result.status, kScsiStatusCheckCondition) << c.name;
        EXPECT_TRUE(result.data.empty()) << c.name;
        ASSERT_EQ(result.sense.size(), 18u) << c.name;
        EXPECT_EQ(result.sense[0], 0x70) << c.name;
        EXPECT_EQ(result.sense[2], c.senseKey) << c.name;
        EXPECT_EQ(result.sense[7], 10) << c.name;
        EXPECT_EQ(result.sense[12], c.asc) << c.name;
    }
}

TEST(DiskAnswers, AtaPassThroughCommandBlocks) {
    const DiskState disk =
        diskFrom(R"({"ata": {"identify": {"model": "Acme"}, "smart": {"temperature": 41}}})");
    const ScsiResult identify16 =
        run(disk, {0x85, 8, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0});
    ASSERT_EQ(identify16.status, kScsiStatusGood);
    ASSERT_EQ(identify16.data.size(), 512u);
    EXPECT_EQ(identify16.data[55], 'A');
    const ScsiResult smart12 = run(disk, {0xA1, 8, 0x0E, 0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0});
    ASSERT_EQ(smart12.status, kScsiStatusGood);
    EXPECT_EQ(smart12.data[2], 194);
    EXPECT_EQ(smart12.data[7], 41);
    const ScsiResult smart16 =
        run(disk, {0x85, 8, 0x0E, 0, 0xD0, 0, 1, 0, 0, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0});
    EXPECT_EQ(smart16.data[7], 41);
}

TEST(DiskAnswers, TestUnitReadyIsGood) {
    const ScsiResult result = run(diskFrom(kScsiDisk), {0x00, 0, 0, 0, 0, 0});
    EXPECT_EQ(result.status, kScsiStatusGood);
    EXPECT_TRUE(result.data.empty());
    EXPECT_TRUE(result.sense.empty());
}

} // namespace
} // namespace platform::simulated
