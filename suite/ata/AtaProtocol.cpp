#include "suite/ata/AtaProtocol.h"

#include <algorithm>
#include <numeric>

namespace qelrlibata {

namespace {

constexpr std::size_t kModelWord = 27;
constexpr std::size_t kModelWords = 20;
constexpr std::size_t kSerialWord = 10;
constexpr std::size_t kSerialWords = 10;
constexpr std::size_t kFirmwareWord = 23;
constexpr std::size_t kFirmwareWords = 4;
constexpr std::size_t kCommandSetSupportedWord = 82;
constexpr std::size_t kCommandSetEnabledWord = 85;
constexpr std::uint8_t kIntegritySignature = 0xA5;

std::uint16_t word(std::span<const std::uint8_t> block, std::size_t index) {
    return static_cast<std::uint16_t>(block[2 * index] | (block[2 * index + 1] << 8));
}

// Words 82-87 read 0x0000 or 0xFFFF on devices that do not report them.
bool reported(std::uint16_t value) {
    return value != 0x0000 && value != 0xFFFF;
}

} // namespace

std::array<std::uint8_t, 8> AtaTaskFile::bytes() const {
    return {features, sectorCount, lbaLow, lbaMid, lbaHigh, device, command, 0};
}

AtaTaskFile identifyDeviceTaskFile() {
    AtaTaskFile task;
    task.sectorCount = 1;
    task.command = kAtaIdentifyDevice;
    return task;
}

AtaTaskFile smartReadDataTaskFile() {
    AtaTaskFile task;
    task.features = kSmartReadData;
    task.sectorCount = 1;
    task.lbaLow = 1;
    task.lbaMid = kSmartLbaMid;
    task.lbaHigh = kSmartLbaHigh;
    task.command = kAtaSmart;
    return task;
}

std::array<std::uint8_t, kAtaPassThrough16Length> ataPassThrough16Cdb(const AtaTaskFile& task) {
    constexpr std::uint8_t kProtocolPioDataIn = 4;
    constexpr std::uint8_t kTransferFromDevice = 0x08;  // T_DIR
    constexpr std::uint8_t kTransferInBlocks = 0x04;    // BYTE_BLOCK
    constexpr std::uint8_t kLengthInSectorCount = 0x02; // T_LENGTH
    std::array<std::uint8_t, kAtaPassThrough16Length> cdb{};
    cdb[0] = kAtaPassThrough16;
    cdb[1] = kProtocolPioDataIn << 1;
    cdb[2] = kTransferFromDevice | kTransferInBlocks | kLengthInSectorCount;
    // Odd bytes 3-11 are the 48-bit "previous" registers, zero for a 28-bit command.
    cdb[4] = task.features;
    cdb[6] = task.sectorCount;
    cdb[8] = task.lbaLow;
    cdb[10] = task.lbaMid;
    cdb[12] = task.lbaHigh;
    cdb[13] = task.device;
    cdb[14] = task.command;
    return cdb;
}

bool isValidIdentify(std::span<const std::uint8_t> block) {
    if (block.size() < kAtaSectorSize) {
        return false;
    }
    const auto sector = block.first(kAtaSectorSize);
    if (std::all_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b == 0; })) {
        return false;
    }
    if ((word(sector, 0) & 0x8000) != 0) {
        return false;
    }
    if (sector[510] == kIntegritySignature) {
        const unsigned sum = std::accumulate(sector.begin(), sector.end(), 0u);
        return (sum & 0xFF) == 0;
    }
    return true;
}

std::string ataString(std::span<const std::uint8_t> block, std::size_t firstWord,
                      std::size_t wordCount) {
    std::string text;
    const std::size_t available = block.size() / 2;
    const std::size_t end = std::min(available, firstWord + wordCount);
    for (std::size_t i = firstWord; i < end; ++i) {
        text.push_back(static_cast<char>(block[2 * i + 1]));
        text.push_back(static_cast<char>(block[2 * i]));
    }
    const auto last = text.find_last_not_of(std::string_view(" \0", 2));
    text.erase(last == std::string::npos ? 0 : last + 1);
    return text;
}

std::optional<IdentifyData> decodeIdentify(std::span<const std::uint8_t> block) {
    if (!isValidIdentify(block)) {
        return std::nullopt;
    }
    IdentifyData data;
    data.model = ataString(block, kModelWord, kModelWords);
    data.serial = ataString(block, kSerialWord, kSerialWords);
    data.firmware = ataString(block, kFirmwareWord, kFirmwareWords);
    const std::uint16_t supported = word(block, kCommandSetSupportedWord);
    const std::uint16_t enabled = word(block, kCommandSetEnabledWord);
    data.smartSupported = reported(supported) && (supported & 0x0001) != 0;
    data.smartEnabled = data.smartSupported && reported(enabled) && (enabled & 0x0001) != 0;
    return data;
}

} // namespace qelrlibata
