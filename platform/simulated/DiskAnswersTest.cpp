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
    const Block block = ataIdentifyBlock(diskFrom(R"({"length": 256060514304, "ata": {
        "identify": {"model": "Acme SSD 512GB", "serial": "S123", "firmware": "1.0"},
        "smart": {"temperature": 38}}})"));
    EXPECT_EQ(ataString(block, 27, 20), "Acme SSD 512GB" + std::string(26, ' '));
    EXPECT_EQ(ataString(block, 10, 10), "S123" + std::string(16, ' '));
    EXPECT_EQ(ataString(block, 23, 4), "1.0     ");
    EXPECT_EQ(block[510], 0xA5);
    EXPECT_EQ(byteSum(block), 0u);
    EXPECT_EQ(word(block, 82) & 1, 1); // SMART supported
    const std::uint64_t sectors =
        std::uint64_t{word(block, 100)} | std::uint64_t{word(block, 101)} << 16 |
        std::uint64_t{word(block, 102)} << 32 | std::uint64_t{word(block, 103)} << 48;
    EXPECT_EQ(sectors, 256060514304u / 512);
    EXPECT_EQ(word(block, 60) | (word(block, 61) << 16), 0x0FFFFFFF);
    // Negative temperatures are stored as their two's-complement byte; the checksum still holds.
    for (const int temperature : {0, 255, -5}) {
        const Block smart = smartDataBlock(temperature);
        EXPECT_EQ(smart[2], 194);
        EXPECT_EQ(smart[2 + 5], static_cast<std::uint8_t>(temperature));
        EXPECT_EQ(byteSum(smart), 0u) << temperature;
    }
}

TEST(DiskAnswers, DescriptorPlacesTheStringsAfterTheFixedPart) {
    const DiskState disk = diskFrom(R"({"descriptor": {"busType": 7,
        "vendorId": "ATA", "productId": "Acme SSD", "serialNumber": "S1"}})");
    const Bytes bytes = storageDeviceDescriptor(*disk.descriptor);
    STORAGE_DEVICE_DESCRIPTOR fixed;
    std::memcpy(&fixed, bytes.data(), sizeof(fixed));
    EXPECT_EQ(fixed.Size, bytes.size());
    EXPECT_EQ(bytes.size(), 40u + 4 + 9 + 3);
    EXPECT_EQ(fixed.ProductIdOffset, 44u);
    EXPECT_EQ(fixed.ProductRevisionOffset, 0u); // not there
    EXPECT_EQ(fixed.SerialNumberOffset, 53u);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 53), "S1");
}

TEST(DiskAnswers, AtaCommands) {
    const DiskState disk =
        diskFrom(R"({"ata": {"identify": {"model": "M"}, "smart": {"temperature": 40}}})");
    const DiskState none = diskFrom(R"({"ata": {}})");
    struct Case {
        const char* name;
        const DiskState* disk;
        AtaRegisters in;
        bool aborted;
        std::size_t dataSize;
    };
    const Case cases[] = {
        {"identify", &disk, {0, 1, 0, 0, 0, 0xA0, 0xEC}, false, 512},
        {"smart read data", &disk, {0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}, false, 512},
        {"smart return status", &disk, {0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0}, false, 0},
        {"smart without signature", &disk, {0xD0, 1, 0, 0, 0, 0xA0, 0xB0}, true, 0},
        {"smart read thresholds", &disk, {0xD1, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}, true, 0},
        {"read sectors", &disk, {0, 1, 0, 0, 0, 0xE0, 0x20}, true, 0},
        {"identify not recorded", &none, {0, 1, 0, 0, 0, 0xA0, 0xEC}, true, 0},
        {"smart not recorded", &none, {0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}, true, 0},
    };
    for (const Case& c : cases) {
        const AtaResult result = executeAta(*c.disk, c.in);
        EXPECT_EQ(result.aborted, c.aborted) << c.name;
        EXPECT_EQ(result.data.size(), c.dataSize) << c.name;
        EXPECT_EQ(result.registers.command, c.aborted ? 0x51 : 0x50) << c.name;
        EXPECT_EQ(result.registers.features, c.aborted ? 0x04 : 0x00) << c.name;
    }
    EXPECT_EQ(executeAta(disk, cases[1].in).data[7], 40);
}

const char* const kScsiDisk = R"({"scsi": {
    "inquiry": {"vendor": "ACME", "product": "Disk 9000", "revision": "A1"},
    "serial": "  SN42", "temperature": 35}, "ata": {"identify": {"model": "Acme"},
    "smart": {"temperature": 41}}})";

TEST(DiskAnswers, ScsiAnswers) {
    const DiskState disk = diskFrom(kScsiDisk);
    const std::pair<std::vector<std::uint8_t>, Bytes> cases[] = {
        {{0x12, 1, 0x00, 0, 255, 0}, {0x00, 0x00, 0x00, 0x02, 0x00, 0x80}},
        {{0x12, 1, 0x80, 0, 255, 0}, {0x00, 0x80, 0x00, 0x06, ' ', ' ', 'S', 'N', '4', '2'}},
        {{0x12, 1, 0x80, 0, 4, 0}, {0x00, 0x80, 0x00, 0x06}}, // cut to the allocation length
        {{0x4D, 0, 0x40, 0, 0, 0, 0, 1, 0, 0}, {0x00, 0x00, 0x00, 0x02, 0x00, 0x0D}},
        {{0x4D, 0, 0x4D, 0, 0, 0, 0, 1, 0, 0},
         {0x0D, 0x00, 0x00, 0x06, 0x00, 0x00, 0x03, 0x02, 0x00, 35}},
        {{0x00, 0, 0, 0, 0, 0}, {}},
    };
    for (const auto& [cdb, data] : cases) {
        const ScsiResult result = executeScsi(disk, cdb.data(), cdb.size());
        EXPECT_EQ(result.status, kScsiStatusGood);
        EXPECT_EQ(result.data, data) << int{cdb[0]};
    }
    const std::uint8_t inquiry[] = {0x12, 0, 0, 0, 96, 0};
    const ScsiResult standard = executeScsi(disk, inquiry, 6);
    ASSERT_EQ(standard.data.size(), 36u);
    EXPECT_EQ(std::string(standard.data.begin() + 8, standard.data.end()),
              "ACME    Disk 9000       A1  ");
    // ATA PASS-THROUGH (12) and (16) reach the ATA answers.
    const std::uint8_t smart12[] = {0xA1, 8, 0x0E, 0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0};
    EXPECT_EQ(executeScsi(disk, smart12, 12).data[7], 41);
    const std::uint8_t identify16[] = {0x85, 8, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
    EXPECT_EQ(executeScsi(disk, identify16, 16).data[55], 'A');
}

TEST(DiskAnswers, ScsiCommandsFailWithCheckCondition) {
    const std::uint8_t ata16[] = {0x85, 8, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
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
        {"no temperature", R"({"scsi": {}})", {0x4D, 0, 0x4D, 0, 0, 0, 0, 1, 0, 0}, 0x05, 0x24},
        {"log subpage", kScsiDisk, {0x4D, 0, 0x4D, 1, 0, 0, 0, 1, 0, 0}, 0x05, 0x24},
        {"short LOG SENSE", kScsiDisk, {0x4D, 0, 0x4D, 0, 0, 0}, 0x05, 0x24},
        {"unknown command", kScsiDisk, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x05, 0x20},
        {"inquiry on an ATA-only disk", R"({"ata": {}})", {0x12, 0, 0, 0, 36, 0}, 0x05, 0x20},
        {"pass-through without ATA", R"({"scsi": {}})", {ata16, ata16 + 16}, 0x05, 0x20},
        {"aborted ATA command", R"({"ata": {}})", {ata16, ata16 + 16}, 0x0B, 0x00},
    };
    for (const Case& c : cases) {
        const ScsiResult result = executeScsi(diskFrom(c.disk), c.cdb.data(), c.cdb.size());
        EXPECT_EQ(result.status, kScsiStatusCheckCondition) << c.name;
        EXPECT_TRUE(result.data.empty()) << c.name;
        ASSERT_EQ(result.sense.size(), 18u) << c.name;
        EXPECT_EQ(result.sense[0], 0x70) << c.name;
        EXPECT_EQ(result.sense[2], c.senseKey) << c.name;
        EXPECT_EQ(result.sense[12], c.asc) << c.name;
    }
}

} // namespace
} // namespace platform::simulated
