#include "platform/simulated/DiskAnswers.h"

#include "platform/StorageDescriptor.h"
#include "platform/Win32.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace platform::simulated {
namespace {

void putWord(Block& block, std::size_t word, std::uint16_t value) {
    block[2 * word] = static_cast<std::uint8_t>(value & 0xFF);
    block[2 * word + 1] = static_cast<std::uint8_t>(value >> 8);
}

// ATA strings: two characters per word, the first in the high byte, padded with spaces.
void putAtaString(Block& block, std::size_t firstWord, std::size_t words, const std::string& text) {
    for (std::size_t i = 0; i < 2 * words; ++i) {
        const auto c = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
        block[2 * firstWord + (i ^ 1)] = c;
    }
}

std::uint8_t checksumFor(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += bytes[i];
    }
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

void putSpacePadded(Bytes& data, std::size_t offset, std::size_t width, const std::string& text) {
    for (std::size_t i = 0; i < width; ++i) {
        data[offset + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    }
}

void putBigEndian16(Bytes& data, std::size_t offset, std::size_t value) {
    data[offset] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    data[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

std::size_t bigEndian16(const std::uint8_t* bytes) {
    return (static_cast<std::size_t>(bytes[0]) << 8) | bytes[1];
}

ScsiResult checkCondition(std::uint8_t senseKey, std::uint8_t asc) {
    ScsiResult result;
    result.status = kScsiStatusCheckCondition;
    result.sense.assign(18, 0);
    result.sense[0] = 0x70; // current error, fixed format
    result.sense[2] = senseKey;
    result.sense[7] = 10; // additional sense length
    result.sense[12] = asc;
    return result;
}

ScsiResult good(Bytes data, std::size_t allocationLength) {
    if (data.size() > allocationLength) {
        data.resize(allocationLength);
    }
    ScsiResult result;
    result.data = std::move(data);
    return result;
}

// A page with a 4-byte header (page code at byte 1 for VPD, byte 0 for log pages; 16-bit page
// length at bytes 2-3) followed by `body`.
Bytes pageWithHeader(std::size_t pageCodeOffset, std::uint8_t pageCode, const Bytes& body) {
    Bytes page(4 + body.size(), 0);
    page[pageCodeOffset] = pageCode;
    putBigEndian16(page, 2, body.size());
    std::copy(body.begin(), body.end(), page.begin() + 4);
    return page;
}

ScsiResult inquiry(const ScsiState& scsi, const std::uint8_t* cdb) {
    const bool vitalProductData = (cdb[1] & 0x01) != 0;
    const std::uint8_t pageCode = cdb[2];
    const std::size_t allocationLength = bigEndian16(cdb + 3);
    if (!vitalProductData) {
        if (pageCode != 0 || !scsi.inquiry) {
            return checkCondition(kSenseIllegalRequest, kAscInvalidFieldInCdb);
        }
        Bytes data(36, 0);
        data[0] = 0x00; // peripheral qualifier 0, direct-access block device
        data[2] = 0x05; // SPC-3
        data[3] = 0x02; // response data format
        data[4] = static_cast<std::uint8_t>(data.size() - 5);
        putSpacePadded(data, 8, 8, scsi.inquiry->vendor);
        putSpacePadded(data, 16, 16, scsi.inquiry->product);
        putSpacePadded(data, 32, 4, scsi.inquiry->revision);
        return good(std::move(data), allocationLength);
    }
    if (pageCode == 0x00) {
        Bytes pages{0x00};
        if (scsi.serial) {
            pages.push_back(0x80);
        }
        return good(pageWithHeader(1, 0x00, pages), allocationLength);
    }
    if (pageCode == 0x80 && scsi.serial) {
        const Bytes serial(scsi.serial->begin(), scsi.serial->end());
        return good(pageWithHeader(1, 0x80, serial), allocationLength);
    }
    return checkCondition(kSenseIllegalRequest, kAscInvalidFieldInCdb);
}

ScsiResult logSense(const ScsiState& scsi, const std::uint8_t* cdb) {
    const std::uint8_t pageCode = cdb[2] & 0x3F;
    const std::uint8_t subpageCode = cdb[3];
    const std::size_t allocationLength = bigEndian16(cdb + 7);
    if (subpageCode != 0) {
        return checkCondition(kSenseIllegalRequest, kAscInvalidFieldInCdb);
    }
    if (pageCode == 0x00) {
        Bytes pages{0x00};
        if (scsi.temperature) {
            pages.push_back(0x0D);
        }
        return good(pageWithHeader(0, 0x00, pages), allocationLength);
    }
    if (pageCode == 0x0D && scsi.temperature) {
        // Parameter 0x0000, current temperature: code, control (binary list), length 2,
        // reserved, degrees Celsius.
        const Bytes parameter{0x00, 0x00, 0x03,
                              0x02, 0x00, static_cast<std::uint8_t>(*scsi.temperature)};
        return good(pageWithHeader(0, 0x0D, parameter), allocationLength);
    }
    return checkCondition(kSenseIllegalRequest, kAscInvalidFieldInCdb);
}

ScsiResult ataPassThrough(const DiskState& disk, const std::uint8_t* cdb, bool sixteen) {
    if (!disk.ata) {
        return checkCondition(kSenseIllegalRequest, kAscInvalidOperationCode);
    }
    AtaRegisters in;
    if (sixteen) {
        in.features = cdb[4];
        in.count = cdb[6];
        in.lbaLow = cdb[8];
        in.lbaMid = cdb[10];
        in.lbaHigh = cdb[12];
        in.device = cdb[13];
        in.command = cdb[14];
    } else {
        in.features = cdb[3];
        in.count = cdb[4];
        in.lbaLow = cdb[5];
        in.lbaMid = cdb[6];
        in.lbaHigh = cdb[7];
        in.device = cdb[8];
        in.command = cdb[9];
    }
    AtaResult ata = executeAta(disk, in);
    if (ata.aborted) {
        return checkCondition(kSenseAbortedCommand, 0x00);
    }
    const std::size_t length = ata.data.size();
    return good(std::move(ata.data), length);
}

} // namespace

Bytes storageDeviceDescriptor(const DescriptorState& descriptor) {
    STORAGE_DEVICE_DESCRIPTOR fixed;
    std::memset(&fixed, 0, sizeof(fixed));
    fixed.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    fixed.RemovableMedia = descriptor.removableMedia ? 1 : 0;
    // Copied, not cast: the SDK's enumeration has no fixed width for unknown values.
    static_assert(sizeof(fixed.BusType) == sizeof(descriptor.busType));
    std::memcpy(&fixed.BusType, &descriptor.busType, sizeof(descriptor.busType));
    const auto present = [](const std::optional<std::string>& text) {
        return text ? &*text : nullptr;
    };
    return platform::storageDeviceDescriptor(
        fixed, {present(descriptor.vendorId), present(descriptor.productId),
                present(descriptor.productRevision), present(descriptor.serialNumber)});
}

Block ataIdentifyBlock(const DiskState& disk) {
    const AtaIdentifyState& identify = *disk.ata->identify;
    if (identify.block) {
        return *identify.block;
    }
    Block block{};
    putWord(block, 0, 0x0040); // fixed device
    putAtaString(block, 10, 10, identify.serial);
    putAtaString(block, 23, 4, identify.firmware);
    putAtaString(block, 27, 20, identify.model);

    const bool smart = disk.ata->smartTemperature.has_value();
    const bool lba = disk.length.has_value();
    const std::uint64_t sectors = lba ? *disk.length / 512 : 0;
    putWord(block, 49, lba ? 0x0200 : 0);
    const auto lba28 = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, 0x0FFFFFFF));
    putWord(block, 60, static_cast<std::uint16_t>(lba28 & 0xFFFF));
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
    block[511] = checksumFor(block.data(), 511);
    return block;
}

Block smartDataBlock(int temperature) {
    Block block{};
    block[0] = 0x10; // data structure revision 16
    std::uint8_t* attribute = block.data() + 2;
    attribute[0] = 194;
    attribute[1] = 0x22; // flags: status, advisory
    attribute[3] = 100;  // current normalized value
    attribute[4] = 100;  // worst
    attribute[5] = static_cast<std::uint8_t>(temperature);
    block[511] = checksumFor(block.data(), 511);
    return block;
}

AtaResult executeAta(const DiskState& disk, const AtaRegisters& in) {
    AtaResult result;
    result.registers = in;
    result.registers.features = 0;
    result.registers.command = kAtaStatusReady;

    const AtaState* ata = disk.ata ? &*disk.ata : nullptr;
    bool done = false;
    if (ata != nullptr && in.command == kAtaIdentifyDevice && ata->identify) {
        const Block block = ataIdentifyBlock(disk);
        result.data.assign(block.begin(), block.end());
        done = true;
    } else if (ata != nullptr && in.command == kAtaSmart && ata->smartTemperature &&
               in.lbaMid == kSmartLbaMid && in.lbaHigh == kSmartLbaHigh) {
        if (in.features == kSmartReadData) {
            const Block block = smartDataBlock(*ata->smartTemperature);
            result.data.assign(block.begin(), block.end());
            done = true;
        } else if (in.features == kSmartEnableOperations || in.features == kSmartReturnStatus) {
            done = true; // LBA mid/high keep 0x4F/0xC2: no threshold exceeded
        }
    }
    if (!done) {
        result.aborted = true;
        result.registers.features = kAtaErrorAbort;
        result.registers.command = kAtaStatusReady | kAtaStatusError;
    }
    return result;
}

ScsiResult executeScsi(const DiskState& disk, const std::uint8_t* cdb, std::size_t cdbLength) {
    if (cdbLength == 0) {
        return checkCondition(kSenseIllegalRequest, kAscInvalidOperationCode);
    }
    std::size_t needed = 6;
    switch (cdb[0]) {
    case kScsiLogSense:
        needed = 10;
        break;
    case kScsiAtaPassThrough12:
        needed = 12;
        break;
    case kScsiAtaPassThrough16:
        needed = 16;
        break;
    default:
        break;
    }
    if (cdbLength < needed) {
        return checkCondition(kSenseIllegalRequest, kAscInvalidFieldInCdb);
    }
    switch (cdb[0]) {
    case kScsiAtaPassThrough16:
    case kScsiAtaPassThrough12:
        return ataPassThrough(disk, cdb, cdb[0] == kScsiAtaPassThrough16);
    case kScsiTestUnitReady:
        return ScsiResult{};
    case kScsiInquiry:
        if (disk.scsi) {
            return inquiry(*disk.scsi, cdb);
        }
        break;
    case kScsiLogSense:
        if (disk.scsi) {
            return logSense(*disk.scsi, cdb);
        }
        break;
    default:
        break;
    }
    return checkCondition(kSenseIllegalRequest, kAscInvalidOperationCode);
}

} // namespace platform::simulated
