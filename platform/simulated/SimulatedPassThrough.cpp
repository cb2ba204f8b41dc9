// ATA, SMART and SCSI pass-through requests on a simulated disk: the request is unpacked from
// the caller's input block, answered by DiskAnswers, and the answer copied into the output block
// within the lengths the caller gave.

#include "platform/simulated/SimulatedMachine.h"

#include "platform/PassThrough.h"
#include "platform/simulated/DiskAnswers.h"

#include <algorithm>
#include <cstring>

namespace platform::simulated {
namespace {

using win32::AtaPassThroughEx;
using win32::ScsiPassThrough;
using win32::SendCmdInParams;
using win32::SendCmdOutParams;

// Whether [offset, offset + length) lies within a block of `size` bytes, after the header.
bool fitsAfterHeader(std::uint64_t offset, std::uint64_t length, std::size_t header, DWORD size) {
    if (length == 0) {
        return true;
    }
    return offset >= header && offset <= size && length <= size - offset;
}

std::uint8_t* at(void* block, std::uint64_t offset) {
    return static_cast<std::uint8_t*>(block) + offset;
}

} // namespace

BOOL SimulatedMachine::ataPassThrough(const DiskState& disk, void* in, DWORD inSize, void* out,
                                      DWORD outSize, DWORD* returned) {
    if (!disk.ata) {
        setLastError(ERROR_INVALID_FUNCTION); // not an ATA device
        return FALSE;
    }
    AtaPassThroughEx request;
    if (in == nullptr || inSize < sizeof(request) || out == nullptr || outSize < sizeof(request)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memcpy(&request, in, sizeof(request));
    if (request.Length != sizeof(request) ||
        !fitsAfterHeader(request.DataBufferOffset, request.DataTransferLength, sizeof(request),
                         outSize)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::uint8_t* task = request.CurrentTaskFile;
    const AtaRegisters registers{task[0], task[1], task[2], task[3], task[4], task[5], task[6]};
    const AtaResult result = executeAta(disk, registers);
    if (!result.data.empty() && (request.AtaFlags & win32::kAtaFlagsDataIn) == 0) {
        setLastError(ERROR_INVALID_PARAMETER); // a data-in command sent without a data-in buffer
        return FALSE;
    }
    const auto count = static_cast<std::uint32_t>(
        std::min<std::size_t>(result.data.size(), request.DataTransferLength));
    if (count > 0) {
        std::memcpy(at(out, request.DataBufferOffset), result.data.data(), count);
    }
    request.DataTransferLength = count;
    // The task file comes back as the device left it: error, count, LBA, device, status.
    const AtaRegisters& after = result.registers;
    const std::uint8_t answer[8] = {after.features, after.count,  after.lbaLow,  after.lbaMid,
                                    after.lbaHigh,  after.device, after.command, 0};
    std::memcpy(request.CurrentTaskFile, answer, sizeof(answer));
    std::memcpy(out, &request, sizeof(request));
    *returned = count > 0 ? static_cast<DWORD>(request.DataBufferOffset + count)
                          : static_cast<DWORD>(sizeof(request));
    return TRUE;
}

BOOL SimulatedMachine::smartReceive(const DiskState& disk, void* in, DWORD inSize, void* out,
                                    DWORD outSize, DWORD* returned) {
    if (!disk.ata) {
        setLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    SendCmdInParams request;
    if (in == nullptr || inSize < sizeof(request)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memcpy(&request, in, sizeof(request));
    constexpr DWORD kAnswerSize = sizeof(SendCmdOutParams) + 512;
    if (out == nullptr || outSize < kAnswerSize) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const win32::IdeRegs& ide = request.irDriveRegs;
    const AtaRegisters registers{ide.bFeaturesReg, ide.bSectorCountReg, ide.bSectorNumberReg,
                                 ide.bCylLowReg,   ide.bCylHighReg,     ide.bDriveHeadReg,
                                 ide.bCommandReg};
    const AtaResult result = executeAta(disk, registers);
    // This request carries only commands that read a block (IDENTIFY, SMART READ DATA); the
    // driver fails it when the drive does not deliver one.
    if (result.aborted || result.data.size() != 512) {
        setLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    SendCmdOutParams header;
    std::memset(&header, 0, sizeof(header));
    header.cBufferSize = 512;
    std::memcpy(out, &header, sizeof(header));
    std::memcpy(at(out, sizeof(header)), result.data.data(), result.data.size());
    *returned = kAnswerSize;
    return TRUE;
}

BOOL SimulatedMachine::scsiPassThrough(const DiskState& disk, void* in, DWORD inSize, void* out,
                                       DWORD outSize, DWORD* returned) {
    if (!disk.scsi && !disk.ata) {
        setLastError(ERROR_INVALID_FUNCTION); // no SCSI or SAT command set behind this path
        return FALSE;
    }
    ScsiPassThrough request;
    if (in == nullptr || inSize < sizeof(request) || out == nullptr || outSize < sizeof(request)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memcpy(&request, in, sizeof(request));
    if (request.Length != sizeof(request) || request.CdbLength == 0 ||
        request.CdbLength > sizeof(request.Cdb) ||
        !fitsAfterHeader(request.DataBufferOffset, request.DataTransferLength, sizeof(request),
                         outSize) ||
        !fitsAfterHeader(request.SenseInfoOffset, request.SenseInfoLength, sizeof(request),
                         outSize)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ScsiResult result = executeScsi(disk, request.Cdb, request.CdbLength);
    if (!result.data.empty() && request.DataIn == win32::kScsiIoctlDataOut) {
        setLastError(ERROR_INVALID_PARAMETER); // a data-in command sent with data-out
        return FALSE;
    }
    const auto count = static_cast<std::uint32_t>(
        std::min<std::size_t>(result.data.size(), request.DataTransferLength));
    if (count > 0) {
        std::memcpy(at(out, request.DataBufferOffset), result.data.data(), count);
    }
    const auto senseCount = static_cast<std::uint8_t>(
        std::min<std::size_t>(result.sense.size(), request.SenseInfoLength));
    if (senseCount > 0) {
        std::memcpy(at(out, request.SenseInfoOffset), result.sense.data(), senseCount);
    }

    request.ScsiStatus = result.status;
    request.DataTransferLength = count;
    request.SenseInfoLength = senseCount;
    std::memcpy(out, &request, sizeof(request));
    std::uint64_t end = sizeof(request);
    if (count > 0) {
        end = std::max<std::uint64_t>(end, request.DataBufferOffset + count);
    }
    if (senseCount > 0) {
        end = std::max<std::uint64_t>(end, request.SenseInfoOffset + senseCount);
    }
    *returned = static_cast<DWORD>(end);
    return TRUE;
}

} // namespace platform::simulated
