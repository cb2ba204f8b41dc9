// ATA, SMART and SCSI pass-through requests on a simulated disk: read and checked by the shared
// request code, answered from the disk's facts by the shared drive answers.

#include "platform/simulated/SimulatedMachine.h"

#include "platform/PassThroughRequest.h"
#include "platform/simulated/DiskAnswers.h"

namespace platform::simulated {

BOOL SimulatedMachine::ataPassThrough(const DiskState& disk, void* in, DWORD inSize, void* out,
                                      DWORD outSize, DWORD* returned) {
    if (!disk.ata) {
        setLastError(ERROR_INVALID_FUNCTION); // not an ATA device
        return FALSE;
    }
    AtaRequest request;
    if (const DWORD error = readAtaRequest(in, inSize, out, outSize, request); error != 0) {
        setLastError(error);
        return FALSE;
    }
    const AtaAnswer answer = answerAtaCommand(driveFacts(disk), request.registers);
    *returned = static_cast<DWORD>(writeAtaAnswer(request, answer.registers, answer.data, out));
    return TRUE;
}

BOOL SimulatedMachine::smartReceive(const DiskState& disk, void* in, DWORD inSize, void* out,
                                    DWORD outSize, DWORD* returned) {
    if (!disk.ata) {
        setLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    AtaTaskFile registers;
    if (const DWORD error = readSmartRequest(in, inSize, out, outSize, registers); error != 0) {
        setLastError(error);
        return FALSE;
    }
    const AtaAnswer answer = answerAtaCommand(driveFacts(disk), registers);
    *returned = static_cast<DWORD>(writeSmartAnswer(answer.registers, answer.data, out));
    return TRUE;
}

BOOL SimulatedMachine::scsiPassThrough(const DiskState& disk, void* in, DWORD inSize, void* out,
                                       DWORD outSize, DWORD* returned) {
    if (!disk.scsi && !disk.ata) {
        setLastError(ERROR_INVALID_FUNCTION); // no SCSI or SAT command set behind this path
        return FALSE;
    }
    ScsiRequest request;
    if (const DWORD error = readScsiRequest(in, inSize, out, outSize, request); error != 0) {
        setLastError(error);
        return FALSE;
    }
    const ScsiAnswer answer = answerScsiCommand(driveFacts(disk), request.cdb());
    *returned = static_cast<DWORD>(writeScsiAnswer(request, answer, out));
    return TRUE;
}

} // namespace platform::simulated
