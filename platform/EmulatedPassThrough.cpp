// SCSI, ATA and SMART pass-through on a disk's handle: each request checked once
// (PassThroughRequest.h), sent to the device where the facts' source reaches it, else answered
// from the facts (DriveAnswers.h).

#include "platform/EmulatedRequests.h"

#include "platform/PassThroughRequest.h"

#include <algorithm>

namespace platform::emulated {
namespace {

using Channel = DeviceChannel;

// One ATA command: to the device, else from the facts of an ATA drive.
BOOL runAta(const DiskFacts& disk, const AtaTaskFile& registers, DataDirection direction,
            std::span<const std::uint8_t> outgoing, std::size_t dataInBytes, unsigned timeout,
            Channel::AtaReply& reply) {
    Channel::Outcome<Channel::AtaReply> outcome;
    if (disk.device) {
        std::vector<std::uint8_t> data(direction == DataDirection::Out ? outgoing.size()
                                                                       : dataInBytes);
        std::copy(outgoing.begin(), outgoing.end(), data.begin());
        outcome = disk.device->ata(registers, direction, data, timeout);
    }
    if (outcome.kind == Channel::Outcome<Channel::AtaReply>::Kind::Failed) {
        return fail(outcome.error);
    }
    if (outcome.kind == Channel::Outcome<Channel::AtaReply>::Kind::Answered) {
        reply = std::move(outcome.answer);
        return TRUE;
    }
    if (!disk.drive || !disk.drive->ata) {
        return fail(ERROR_INVALID_FUNCTION); // not an ATA device
    }
    AtaAnswer answer = answerAtaCommand(*disk.drive, registers);
    reply.registers = answer.registers;
    reply.data = std::move(answer.data);
    return TRUE;
}

} // namespace

BOOL scsiPassThrough(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned) {
    if (!disk.drive || !(disk.drive->speaksScsi || disk.drive->ata)) {
        return fail(ERROR_INVALID_FUNCTION); // no SCSI or SAT command set behind this path
    }
    ScsiRequest request;
    if (const DWORD error = readScsiRequest(in, inSize, out, outSize, request); error != 0) {
        return fail(error);
    }
    Channel::Outcome<ScsiAnswer> outcome;
    if (disk.device) {
        std::vector<std::uint8_t> data(request.header.DataTransferLength, 0);
        std::copy(request.outgoing.begin(), request.outgoing.end(), data.begin());
        outcome =
            disk.device->scsi(request.cdb(), request.direction, data, request.header.TimeOutValue);
    }
    if (outcome.kind == Channel::Outcome<ScsiAnswer>::Kind::Failed) {
        return fail(outcome.error);
    }
    if (outcome.kind == Channel::Outcome<ScsiAnswer>::Kind::FromFacts) {
        outcome.answer = answerScsiCommand(*disk.drive, request.cdb());
    }
    *returned = static_cast<DWORD>(writeScsiAnswer(request, outcome.answer, out));
    return TRUE;
}

BOOL ataPassThrough(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                    DWORD* returned) {
    AtaRequest request;
    if (const DWORD error = readAtaRequest(in, inSize, out, outSize, request); error != 0) {
        return fail(error);
    }
    Channel::AtaReply reply;
    if (!runAta(disk, request.registers, request.direction, request.outgoing,
                request.header.DataTransferLength, request.header.TimeOutValue, reply)) {
        return FALSE;
    }
    *returned = static_cast<DWORD>(writeAtaAnswer(request, reply.registers, reply.data, out));
    return TRUE;
}

BOOL smartReceive(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) {
    AtaTaskFile registers;
    if (const DWORD error = readSmartRequest(in, inSize, out, outSize, registers); error != 0) {
        return fail(error);
    }
    Channel::AtaReply reply;
    if (!runAta(disk, registers, DataDirection::In, {}, 512, 10, reply)) {
        return FALSE;
    }
    *returned = static_cast<DWORD>(writeSmartAnswer(reply.registers, reply.data, out));
    return TRUE;
}

} // namespace platform::emulated
