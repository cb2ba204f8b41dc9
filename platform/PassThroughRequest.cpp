#include "platform/PassThroughRequest.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// Whether [offset, offset + length) lies within a block of `size` bytes, without overflow.
bool fitsIn(std::uint64_t offset, std::uint64_t length, DWORD size) {
    return length == 0 || (offset <= size && length <= size - offset);
}

std::uint8_t* at(void* block, std::uint64_t offset) {
    return static_cast<std::uint8_t*>(block) + offset;
}

} // namespace

DWORD readScsiRequest(const void* in, DWORD inSize, const void* out, DWORD outSize,
                      ScsiRequest& request) {
    win32::ScsiPassThrough& header = request.header;
    if (in == nullptr || out == nullptr || inSize < sizeof(header) || outSize < sizeof(header)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::memcpy(&header, in, sizeof(header));
    const bool dataOut = header.DataIn == win32::kScsiIoctlDataOut;
    if (header.Length != sizeof(header) || header.CdbLength == 0 ||
        header.CdbLength > sizeof(header.Cdb) || header.DataIn > win32::kScsiIoctlDataUnspecified ||
        !fitsIn(header.DataBufferOffset, header.DataTransferLength, dataOut ? inSize : outSize) ||
        !fitsIn(header.SenseInfoOffset, header.SenseInfoLength, outSize)) {
        return ERROR_INVALID_PARAMETER;
    }
    request.direction = DataDirection::None;
    request.outgoing = {};
    if (header.DataTransferLength > 0) {
        request.direction = dataOut ? DataDirection::Out : DataDirection::In;
        if (dataOut) {
            request.outgoing = {static_cast<const std::uint8_t*>(in) + header.DataBufferOffset,
                                header.DataTransferLength};
        }
    }
    return 0;
}

std::size_t writeScsiAnswer(ScsiRequest& request, const ScsiAnswer& answer, void* out) {
    win32::ScsiPassThrough& header = request.header;
    header.ScsiStatus = answer.status;
    std::size_t answered = sizeof(header);
    if (request.direction == DataDirection::In) {
        const std::size_t n = std::min<std::size_t>(answer.data.size(), header.DataTransferLength);
        if (n > 0) {
            std::memcpy(at(out, header.DataBufferOffset), answer.data.data(), n);
        }
        header.DataTransferLength = static_cast<std::uint32_t>(n);
        answered = std::max<std::size_t>(answered, header.DataBufferOffset + n);
    }
    const std::size_t senseLength =
        std::min<std::size_t>(answer.sense.size(), header.SenseInfoLength);
    if (senseLength > 0) {
        std::memcpy(at(out, header.SenseInfoOffset), answer.sense.data(), senseLength);
        answered = std::max<std::size_t>(answered, header.SenseInfoOffset + senseLength);
    }
    header.SenseInfoLength = static_cast<std::uint8_t>(senseLength);
    std::memcpy(out, &header, sizeof(header));
    return answered;
}

DWORD readAtaRequest(const void* in, DWORD inSize, const void* out, DWORD outSize,
                     AtaRequest& request) {
    win32::AtaPassThroughEx& header = request.header;
    if (in == nullptr || out == nullptr || inSize < sizeof(header) || outSize < sizeof(header)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::memcpy(&header, in, sizeof(header));
    const bool dataIn = (header.AtaFlags & win32::kAtaFlagsDataIn) != 0;
    const bool dataOut = (header.AtaFlags & win32::kAtaFlagsDataOut) != 0;
    const std::uint32_t length = header.DataTransferLength;
    if (header.Length != sizeof(header) || (dataIn && dataOut) ||
        (length > 0 && header.DataBufferOffset < sizeof(header)) ||
        (dataIn && !fitsIn(header.DataBufferOffset, length, outSize)) ||
        (dataOut && !fitsIn(header.DataBufferOffset, length, inSize))) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::uint8_t* task = header.CurrentTaskFile;
    request.registers = {task[0], task[1], task[2], task[3], task[4], task[5], task[6]};
    request.direction = DataDirection::None;
    request.outgoing = {};
    if (length > 0 && dataIn) {
        request.direction = DataDirection::In;
    } else if (length > 0 && dataOut) {
        request.direction = DataDirection::Out;
        request.outgoing = {static_cast<const std::uint8_t*>(in) + header.DataBufferOffset, length};
    }
    return 0;
}

std::size_t writeAtaAnswer(AtaRequest& request, const AtaTaskFile& after,
                           std::span<const std::uint8_t> data, void* out) {
    win32::AtaPassThroughEx& header = request.header;
    std::size_t answered = sizeof(header);
    if (request.direction == DataDirection::In) {
        const std::size_t n = std::min<std::size_t>(data.size(), header.DataTransferLength);
        if (n > 0) {
            std::memcpy(at(out, header.DataBufferOffset), data.data(), n);
        }
        header.DataTransferLength = static_cast<std::uint32_t>(n);
        answered = header.DataBufferOffset + n;
    }
    const std::uint8_t task[8] = {after.features, after.count,  after.lbaLow,  after.lbaMid,
                                  after.lbaHigh,  after.device, after.command, 0};
    std::memcpy(header.CurrentTaskFile, task, sizeof(task));
    std::memcpy(out, &header, sizeof(header));
    return answered;
}

DWORD readSmartRequest(const void* in, DWORD inSize, const void* out, DWORD outSize,
                       AtaTaskFile& registers) {
    win32::SendCmdInParams request{};
    if (in == nullptr || inSize < sizeof(request)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (out == nullptr || outSize < kSmartAnswerSize) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(&request, in, sizeof(request));
    const win32::IdeRegs& ide = request.irDriveRegs;
    registers = {ide.bFeaturesReg, ide.bSectorCountReg, ide.bSectorNumberReg, ide.bCylLowReg,
                 ide.bCylHighReg,  ide.bDriveHeadReg,   ide.bCommandReg};
    if (registers.command != kAtaIdentifyDevice && registers.command != kAtaSmart) {
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

std::size_t writeSmartAnswer(const AtaTaskFile& after, std::span<const std::uint8_t> data,
                             void* out) {
    win32::SendCmdOutParams answer{};
    answer.cBufferSize = 512;
    if ((after.command & kAtaStatusError) != 0) {
        answer.bDriverError = 1; // SMART_IDE_ERROR: the drive's error register follows
        answer.bIDEError = after.features;
    }
    std::memset(out, 0, kSmartAnswerSize);
    std::memcpy(out, &answer, sizeof(answer));
    if (!data.empty()) {
        std::memcpy(at(out, sizeof(answer)), data.data(), std::min<std::size_t>(data.size(), 512));
    }
    return kSmartAnswerSize;
}

} // namespace platform
