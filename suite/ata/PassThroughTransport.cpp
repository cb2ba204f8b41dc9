#include "suite/ata/PassThroughTransport.h"

#include "platform/PassThrough.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qelrlibata {

namespace {

constexpr std::size_t kSenseLength = 32;
constexpr std::size_t kScsiSenseOffset = sizeof(win32::ScsiPassThrough);
constexpr std::size_t kScsiDataOffset = kScsiSenseOffset + kSenseLength;
static_assert(kScsiDataOffset % 8 == 0);

constexpr std::uint8_t kScsiStatusGood = 0;
// Task file slot that carries the status register on return.
constexpr std::size_t kStatusSlot = 6;

template <typename T> T readStruct(const std::vector<std::uint8_t>& block) {
    T value;
    std::memcpy(&value, block.data(), sizeof(T));
    return value;
}

template <typename T> void writeStruct(std::vector<std::uint8_t>& block, const T& value) {
    std::memcpy(block.data(), &value, sizeof(T));
}

bool control(HANDLE device, DWORD code, std::vector<std::uint8_t>& in, DWORD inSize,
             std::vector<std::uint8_t>& out, DWORD* returned) {
    *returned = 0;
    return win32::DeviceIoControl(device, code, in.data(), inSize, out.data(),
                                  static_cast<DWORD>(out.size()), returned, nullptr) != FALSE;
}

std::size_t copyBack(const std::vector<std::uint8_t>& block, std::size_t offset,
                     std::size_t reported, std::span<std::uint8_t> data) {
    const std::size_t count = std::min({reported, data.size(), block.size() - offset});
    std::memcpy(data.data(), block.data() + offset, count);
    return count;
}

} // namespace

std::optional<std::size_t>
PassThroughTransport::ataPassThrough(const AtaTaskFile& task, std::span<std::uint8_t> data) const {
    std::fill(data.begin(), data.end(), std::uint8_t{0});
    if (data.size() > kMaxDataLength) {
        return std::nullopt;
    }
    constexpr std::size_t kOffset = sizeof(win32::AtaPassThroughEx);
    std::vector<std::uint8_t> block(kOffset + data.size());
    win32::AtaPassThroughEx request{};
    request.Length = sizeof(win32::AtaPassThroughEx);
    request.AtaFlags = win32::kAtaFlagsDrdyRequired | win32::kAtaFlagsDataIn;
    request.DataTransferLength = static_cast<std::uint32_t>(data.size());
    request.TimeOutValue = kTimeoutSeconds;
    request.DataBufferOffset = kOffset;
    const auto registers = task.bytes();
    std::copy(registers.begin(), registers.end(), request.CurrentTaskFile);
    writeStruct(block, request);

    DWORD returned = 0;
    if (!control(device_, win32::kIoctlAtaPassThrough, block, static_cast<DWORD>(block.size()),
                 block, &returned) ||
        returned < kOffset) {
        return std::nullopt;
    }
    const auto answer = readStruct<win32::AtaPassThroughEx>(block);
    if ((answer.CurrentTaskFile[kStatusSlot] & kAtaStatusError) != 0) {
        return std::nullopt;
    }
    return copyBack(block, kOffset, answer.DataTransferLength, data);
}

std::optional<std::size_t> PassThroughTransport::smartReceive(const AtaTaskFile& task,
                                                              std::span<std::uint8_t> data) const {
    std::fill(data.begin(), data.end(), std::uint8_t{0});
    if (data.size() > kAtaSectorSize) {
        return std::nullopt;
    }
    win32::SendCmdInParams request{};
    request.cBufferSize = kAtaSectorSize;
    request.irDriveRegs.bFeaturesReg = task.features;
    request.irDriveRegs.bSectorCountReg = task.sectorCount;
    request.irDriveRegs.bSectorNumberReg = task.lbaLow;
    request.irDriveRegs.bCylLowReg = task.lbaMid;
    request.irDriveRegs.bCylHighReg = task.lbaHigh;
    // Drive 0 of the handle's own device: the master bit pattern with LBA mode bits set.
    request.irDriveRegs.bDriveHeadReg = 0xA0;
    request.irDriveRegs.bCommandReg = task.command;
    std::vector<std::uint8_t> in(sizeof(request));
    writeStruct(in, request);

    constexpr std::size_t kOffset = sizeof(win32::SendCmdOutParams);
    std::vector<std::uint8_t> out(kOffset + kAtaSectorSize);
    DWORD returned = 0;
    if (!control(device_, win32::kSmartRcvDriveData, in, static_cast<DWORD>(in.size()), out,
                 &returned) ||
        returned < kOffset) {
        return std::nullopt;
    }
    const auto answer = readStruct<win32::SendCmdOutParams>(out);
    if (answer.bDriverError != 0 || answer.bIDEError != 0) {
        return std::nullopt;
    }
    const std::size_t reported = std::min<std::size_t>(answer.cBufferSize, returned - kOffset);
    return copyBack(out, kOffset, reported, data);
}

std::optional<std::size_t> PassThroughTransport::scsiDataIn(std::span<const std::uint8_t> cdb,
                                                            std::span<std::uint8_t> data) const {
    std::fill(data.begin(), data.end(), std::uint8_t{0});
    win32::ScsiPassThrough request{};
    if (cdb.empty() || cdb.size() > sizeof(request.Cdb) || data.size() > kMaxDataLength) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> block(kScsiDataOffset + data.size());
    request.Length = sizeof(win32::ScsiPassThrough);
    request.CdbLength = static_cast<std::uint8_t>(cdb.size());
    request.SenseInfoLength = kSenseLength;
    request.DataIn = win32::kScsiIoctlDataIn;
    request.DataTransferLength = static_cast<std::uint32_t>(data.size());
    request.TimeOutValue = kTimeoutSeconds;
    request.DataBufferOffset = kScsiDataOffset;
    request.SenseInfoOffset = kScsiSenseOffset;
    std::copy(cdb.begin(), cdb.end(), request.Cdb);
    writeStruct(block, request);

    DWORD returned = 0;
    if (!control(device_, win32::kIoctlScsiPassThrough, block, static_cast<DWORD>(block.size()),
                 block, &returned) ||
        returned < sizeof(win32::ScsiPassThrough)) {
        return std::nullopt;
    }
    const auto answer = readStruct<win32::ScsiPassThrough>(block);
    if (answer.ScsiStatus != kScsiStatusGood) {
        return std::nullopt;
    }
    return copyBack(block, kScsiDataOffset, answer.DataTransferLength, data);
}

std::optional<std::size_t>
PassThroughTransport::scsiAtaPassThrough(const AtaTaskFile& task,
                                         std::span<std::uint8_t> data) const {
    const auto cdb = ataPassThrough16Cdb(task);
    return scsiDataIn(cdb, data);
}

} // namespace qelrlibata
