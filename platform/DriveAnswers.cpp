#include "platform/DriveAnswers.h"

#include <algorithm>

namespace platform {
namespace {

constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kLogSense = 0x4D;
constexpr std::uint8_t kReadCapacity10 = 0x25;
constexpr std::uint8_t kServiceActionIn16 = 0x9E;
constexpr std::uint8_t kReadCapacity16Action = 0x10;
constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kAtaPassThrough16 = 0x85;
constexpr std::uint8_t kAtaPassThrough12 = 0xA1;

constexpr std::uint8_t kNotReady = 0x02;
constexpr std::uint8_t kIllegalRequest = 0x05;
constexpr std::uint8_t kAbortedCommand = 0x0B;

ScsiAnswer refuse(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0) {
    ScsiAnswer answer;
    answer.status = kScsiCheckCondition;
    answer.sense = fixedSense(key, asc, ascq);
    return answer;
}

ScsiAnswer invalidField() {
    return refuse(kIllegalRequest, 0x24);
}

ScsiAnswer invalidOperation() {
    return refuse(kIllegalRequest, 0x20);
}

void putField(std::vector<std::uint8_t>& data, std::size_t at, const std::string& text,
              std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        data[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    }
}

void putBe16(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
    data[at] = static_cast<std::uint8_t>(value >> 8);
    data[at + 1] = static_cast<std::uint8_t>(value);
}

void putBe32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
    putBe16(data, at, value >> 16);
    putBe16(data, at + 2, value & 0xFFFF);
}

ScsiAnswer good(std::vector<std::uint8_t> data, std::size_t allocation) {
    if (data.size() > allocation) {
        data.resize(allocation);
    }
    ScsiAnswer answer;
    answer.data = std::move(data);
    return answer;
}

std::uint8_t temperatureByte(int celsius) {
    // 0xFF means "no reading"; a reading below zero is reported as 0, as the log page allows.
    return static_cast<std::uint8_t>(std::clamp(celsius, 0, 0xFE));
}

ScsiAnswer inquiry(const DriveFacts& facts, std::span<const std::uint8_t> cdb) {
    const std::size_t allocation = (static_cast<std::size_t>(cdb[3]) << 8) | cdb[4];
    const bool vital = (cdb[1] & 0x01) != 0;
    const std::uint8_t page = cdb[2];
    if (!vital) {
        if (page != 0 || !facts.standardInquiry) {
            return invalidField();
        }
        if (facts.inquiryRecorded) {
            return good(*facts.inquiryRecorded, allocation);
        }
        std::vector<std::uint8_t> data(36, 0);
        data[0] = facts.peripheralType;
        data[1] = facts.removable ? 0x80 : 0x00;
        data[2] = facts.scsiVersion;
        data[3] = 0x02; // response data format 2
        data[4] = 36 - 5;
        putField(data, 8, facts.vendor, 8);
        putField(data, 16, facts.product, 16);
        putField(data, 32, facts.revision, 4);
        return good(std::move(data), allocation);
    }
    const bool hasSerial = facts.vpd80.has_value() || facts.serial.has_value();
    switch (page) {
    case 0x00: {
        std::vector<std::uint8_t> data = {facts.peripheralType, 0x00, 0x00, 0x00, 0x00};
        if (hasSerial) {
            data.push_back(0x80);
        }
        if (facts.vpd83) {
            data.push_back(0x83);
        }
        data[3] = static_cast<std::uint8_t>(data.size() - 4);
        return good(std::move(data), allocation);
    }
    case 0x80: {
        if (facts.vpd80) {
            return good(*facts.vpd80, allocation);
        }
        if (!hasSerial) {
            return invalidField();
        }
        const std::string serial = facts.serial->substr(0, 252);
        std::vector<std::uint8_t> data(4 + serial.size(), 0);
        data[0] = facts.peripheralType;
        data[1] = 0x80;
        putBe16(data, 2, static_cast<std::uint32_t>(serial.size()));
        putField(data, 4, serial, serial.size());
        return good(std::move(data), allocation);
    }
    case 0x83:
        if (facts.vpd83) {
            return good(*facts.vpd83, allocation);
        }
        return invalidField();
    default:
        return invalidField();
    }
}

ScsiAnswer logSense(const DriveFacts& facts, std::span<const std::uint8_t> cdb) {
    const std::size_t allocation = (static_cast<std::size_t>(cdb[7]) << 8) | cdb[8];
    const std::uint8_t page = cdb[2] & 0x3F;
    const std::uint8_t control = cdb[2] >> 6;
    if (cdb[3] != 0 || control != 1) { // subpages, and values other than the current cumulative
        return invalidField();
    }
    if (const auto recorded = facts.logPagesRecorded.find(page);
        recorded != facts.logPagesRecorded.end()) {
        return good(recorded->second, allocation);
    }
    if (page == 0x00) {
        std::vector<std::uint8_t> data = {0x00, 0x00, 0x00, 0x00, 0x00};
        for (const auto& [number, bytes] : facts.logPagesRecorded) {
            if (number != 0x00 && (number != 0x0D || !facts.temperature)) {
                data.push_back(number);
            }
        }
        if (facts.temperature) {
            data.push_back(0x0D);
        }
        std::sort(data.begin() + 4, data.end());
        putBe16(data, 2, static_cast<std::uint32_t>(data.size() - 4));
        return good(std::move(data), allocation);
    }
    if (page != 0x0D || !facts.temperature) {
        return invalidField();
    }
    std::vector<std::uint8_t> data = {0x0D, 0x00, 0x00, 0x00,
                                      // parameter 0000h: temperature
                                      0x00, 0x00, 0x03, 0x02, 0x00,
                                      temperatureByte(*facts.temperature)};
    if (facts.referenceTemperature) {
        const std::uint8_t reference = temperatureByte(*facts.referenceTemperature);
        data.insert(data.end(), {0x00, 0x01, 0x03, 0x02, 0x00, reference});
    }
    putBe16(data, 2, static_cast<std::uint32_t>(data.size() - 4));
    return good(std::move(data), allocation);
}

ScsiAnswer readCapacity(const DriveFacts& facts, std::span<const std::uint8_t> cdb, bool sixteen) {
    if (!facts.mediumPresent || facts.logicalBlocks == 0) {
        return refuse(kNotReady, 0x3A); // MEDIUM NOT PRESENT
    }
    const std::uint64_t last = facts.logicalBlocks - 1;
    if (!sixteen) {
        std::vector<std::uint8_t> data(8, 0);
        putBe32(data, 0, last > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(last));
        putBe32(data, 4, facts.logicalBlockSize);
        return good(std::move(data), 8);
    }
    const std::size_t allocation = (static_cast<std::size_t>(cdb[10]) << 24) |
                                   (static_cast<std::size_t>(cdb[11]) << 16) |
                                   (static_cast<std::size_t>(cdb[12]) << 8) | cdb[13];
    std::vector<std::uint8_t> data(32, 0);
    putBe32(data, 0, static_cast<std::uint32_t>(last >> 32));
    putBe32(data, 4, static_cast<std::uint32_t>(last));
    putBe32(data, 8, facts.logicalBlockSize);
    return good(std::move(data), allocation);
}

ScsiAnswer ataPassThrough(const DriveFacts& facts, std::span<const std::uint8_t> cdb) {
    if (!facts.ata) {
        return invalidOperation();
    }
    AtaTaskFile in;
    if (cdb[0] == kAtaPassThrough16) {
        in = {cdb[4], cdb[6], cdb[8], cdb[10], cdb[12], cdb[13], cdb[14]};
    } else {
        in = {cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[8], cdb[9]};
    }
    AtaAnswer ata = answerAtaCommand(facts, in);
    if (ata.aborted) {
        return refuse(kAbortedCommand, 0x00);
    }
    const std::size_t length = ata.data.size();
    return good(std::move(ata.data), length);
}

std::size_t cdbLengthOf(std::uint8_t opcode) {
    switch (opcode) {
    case kServiceActionIn16:
    case kAtaPassThrough16:
        return 16;
    case kAtaPassThrough12:
        return 12;
    case kLogSense:
    case kReadCapacity10:
        return 10;
    default:
        return 6;
    }
}

void putAtaText(Block512& block, std::size_t firstWord, std::size_t words,
                const std::string& text) {
    for (std::size_t i = 0; i < words * 2; ++i) {
        // ATA strings: the first character of each pair in the high byte of the word.
        block[(firstWord * 2) + (i ^ 1)] =
            static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    }
}

void putWord(Block512& block, std::size_t word, std::uint16_t value) {
    block[word * 2] = static_cast<std::uint8_t>(value);
    block[word * 2 + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint8_t checksumFor(const Block512& block) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 511; ++i) {
        sum = static_cast<std::uint8_t>(sum + block[i]);
    }
    return static_cast<std::uint8_t>(-sum);
}

} // namespace

std::vector<std::uint8_t> fixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    std::vector<std::uint8_t> sense(18, 0);
    sense[0] = 0x70; // current error, fixed format
    sense[2] = key;
    sense[7] = 10; // additional sense length
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

bool isSynthesizedScsiCommand(std::uint8_t opcode) {
    return opcode == kInquiry || opcode == kLogSense || opcode == kReadCapacity10 ||
           opcode == kServiceActionIn16 || opcode == kTestUnitReady;
}

ScsiAnswer answerScsiCommand(const DriveFacts& facts, std::span<const std::uint8_t> cdb) {
    if (cdb.empty()) {
        return invalidOperation();
    }
    const std::uint8_t opcode = cdb[0];
    const bool known = isSynthesizedScsiCommand(opcode) || opcode == kAtaPassThrough12 ||
                       opcode == kAtaPassThrough16;
    if (!known) {
        return invalidOperation();
    }
    if (cdb.size() < cdbLengthOf(opcode)) {
        return invalidField();
    }
    switch (opcode) {
    case kInquiry:
        return facts.speaksScsi ? inquiry(facts, cdb) : invalidOperation();
    case kLogSense:
        return facts.speaksScsi ? logSense(facts, cdb) : invalidOperation();
    case kReadCapacity10:
        return readCapacity(facts, cdb, false);
    case kServiceActionIn16:
        if ((cdb[1] & 0x1F) != kReadCapacity16Action) {
            return invalidField();
        }
        return readCapacity(facts, cdb, true);
    case kAtaPassThrough12:
    case kAtaPassThrough16:
        return ataPassThrough(facts, cdb);
    default:
        if (!facts.mediumPresent) {
            return refuse(kNotReady, 0x3A);
        }
        return {};
    }
}

Block512 identifyBlock(const DriveFacts& facts) {
    const AtaIdentity& identity = *facts.identify;
    if (identity.recorded) {
        return *identity.recorded;
    }
    Block512 block{};
    putWord(block, 0, facts.removable ? 0x0080 : 0x0040);
    putAtaText(block, 10, 10, identity.serial);
    putAtaText(block, 23, 4, identity.firmware);
    putAtaText(block, 27, 20, identity.model);

    const bool smart = facts.smartTemperature || facts.smartRecorded;
    const bool lba = facts.ataSectors.has_value();
    const std::uint64_t sectors = facts.ataSectors.value_or(0);
    putWord(block, 49, lba ? 0x0200 : 0); // LBA: the capacity below is in logical blocks
    const std::uint64_t lba28 = std::min<std::uint64_t>(sectors, 0x0FFFFFFF);
    putWord(block, 60, static_cast<std::uint16_t>(lba28));
    putWord(block, 61, static_cast<std::uint16_t>(lba28 >> 16));
    // Words 82-87: command sets supported and enabled; bit 14 marks 83, 84 and 87 valid.
    putWord(block, 82, smart ? 0x0001 : 0);
    putWord(block, 83, static_cast<std::uint16_t>(0x4000 | (lba ? 0x0400 : 0)));
    putWord(block, 84, 0x4000);
    putWord(block, 85, smart ? 0x0001 : 0);
    putWord(block, 86, lba ? 0x0400 : 0);
    putWord(block, 87, 0x4000);
    for (std::size_t i = 0; i < 4; ++i) {
        putWord(block, 100 + i, static_cast<std::uint16_t>(sectors >> (16 * i)));
    }
    block[510] = 0xA5;
    block[511] = checksumFor(block);
    return block;
}

Block512 smartDataBlock(int temperature) {
    Block512 block{};
    block[0] = 0x10; // data structure revision 16
    std::uint8_t* attribute = block.data() + 2;
    attribute[0] = 194;
    attribute[1] = 0x22; // flags: status, advisory
    attribute[3] = 100;  // current normalized value
    attribute[4] = 100;  // worst
    attribute[5] = static_cast<std::uint8_t>(temperature);
    block[511] = checksumFor(block);
    return block;
}

AtaAnswer answerAtaCommand(const DriveFacts& facts, const AtaTaskFile& in) {
    AtaAnswer answer;
    answer.registers = in;
    answer.registers.features = 0;
    answer.registers.command = kAtaStatusReady;
    bool done = false;
    if (facts.ata && in.command == kAtaIdentifyDevice && facts.identify) {
        const Block512 block = identifyBlock(facts);
        answer.data.assign(block.begin(), block.end());
        done = true;
    } else if (facts.ata && in.command == kAtaSmart &&
               (facts.smartTemperature || facts.smartRecorded) && in.lbaMid == kSmartLbaMid &&
               in.lbaHigh == kSmartLbaHigh) {
        if (in.features == kSmartReadData) {
            const Block512 block = facts.smartRecorded ? *facts.smartRecorded
                                                       : smartDataBlock(*facts.smartTemperature);
            answer.data.assign(block.begin(), block.end());
            done = true;
        } else if (in.features == kSmartEnableOperations || in.features == kSmartReturnStatus) {
            done = true; // LBA mid/high keep 0x4F/0xC2: no threshold exceeded
        }
    }
    if (!done) {
        answer.aborted = true;
        answer.registers.features = kAtaErrorAbort;
        answer.registers.command = kAtaStatusReady | kAtaStatusError;
    }
    return answer;
}

} // namespace platform
