// SCSI, ATA and SMART pass-through on a disk handle: to the device through SG_IO when its node
// opens, else answered from the facts sysfs gives (platform/DriveAnswers.h).

#include "platform/linux/DeviceHandle.h"
#include "platform/linux/DriveIdentity.h"
#include "platform/linux/DriveTemperatures.h"

#include "platform/DriveAnswers.h"
#include "platform/PassThroughRequest.h"
#include "platform/linux/SgIo.h"

#include <algorithm>
#include <cerrno>

namespace platform::storage {
namespace {

bool isAtaBus(StorageBus bus) {
    return bus == StorageBus::Sata || bus == StorageBus::Pata;
}

// sysfs texts may carry anything; a drive's identification is printable ASCII.
std::string printable(std::string text) {
    for (char& c : text) {
        if (c < 0x20 || c >= 0x7F) {
            c = ' ';
        }
    }
    return text;
}

DriveFacts factsFor(const BlockDevice& device) {
    DriveFacts facts;
    facts.peripheralType = device.cdrom ? 0x05 : 0x00;
    facts.removable = device.removable;
    facts.mediumPresent = device.sectors > 0 || !device.removable;
    facts.scsiVersion = device.scsiLevel > 0 ? static_cast<std::uint8_t>(device.scsiLevel - 1) : 0;
    facts.vendor = printable(device.vendor);
    facts.product = printable(device.model);
    facts.revision = printable(device.revision);
    if (!device.serial.empty()) {
        facts.serial = printable(device.serial);
    }
    facts.vpd80 = readVpdPage(device, 0x80);
    facts.vpd83 = readVpdPage(device, 0x83);
    const auto sensors = readDriveTemperatures(device);
    if (!sensors.empty()) {
        facts.temperature = sensors.front().celsius;
        facts.referenceTemperature = sensors.front().critical;
    }
    facts.logicalBlockSize = device.logicalBlockSize;
    facts.logicalBlocks = device.sectors * 512 / device.logicalBlockSize;
    return facts;
}

// Only IDENTIFY is answered without the device: the texts sysfs gives, or the block libata
// recorded.
DriveFacts ataFactsFor(const BlockDevice& device) {
    DriveFacts facts;
    facts.ata = isAtaBus(device.bus);
    facts.removable = device.removable;
    facts.identify = AtaIdentity{printable(device.model), printable(device.serial),
                                 printable(device.revision), readAtaIdentify(device)};
    facts.ataSectors = device.sectors;
    return facts;
}

} // namespace

struct ScsiOutcome {
    bool sent = false; // false: the request failed with `error`
    DWORD error = 0;
    ScsiAnswer answer;
};

// Runs one SCSI command: through SG_IO when the node opens and speaks SCSI, else from facts.
ScsiOutcome runScsi(Handle& handle, std::span<const std::uint8_t> cdb, DataDirection direction,
                    std::span<std::uint8_t> data, unsigned timeout) {
    ScsiOutcome outcome;
    if (const int fd = handle.descriptor(); fd >= 0) {
        SgResult result = sendScsiCommand(fd, cdb, direction, data, timeout);
        if (result.error == 0) {
            if (result.transportFailed) {
                outcome.error = kErrorIoDevice;
                return outcome;
            }
            outcome.sent = true;
            outcome.answer.status = result.status;
            outcome.answer.sense = std::move(result.sense);
            outcome.answer.data.assign(
                data.begin(), data.begin() + static_cast<std::ptrdiff_t>(
                                                 std::min(result.transferred, data.size())));
            return outcome;
        }
        const bool speaksScsi =
            result.error != ENOTTY && result.error != ENOSYS && result.error != EOPNOTSUPP;
        if (speaksScsi && !isSynthesizedScsiCommand(cdb[0])) {
            outcome.error = errorFromErrno(result.error);
            return outcome;
        }
        if (!speaksScsi && !isSynthesizedScsiCommand(cdb[0])) {
            // A device without a SCSI layer (virtio, NVMe) refuses what it does not know.
            outcome.sent = true;
            outcome.answer = answerScsiCommand(factsFor(handle.current()), cdb);
            return outcome;
        }
    } else if (!isSynthesizedScsiCommand(cdb[0])) {
        outcome.error = ERROR_ACCESS_DENIED;
        return outcome;
    }
    outcome.sent = true;
    outcome.answer = answerScsiCommand(factsFor(handle.current()), cdb);
    if (direction == DataDirection::In) {
        const std::size_t n = std::min(outcome.answer.data.size(), data.size());
        outcome.answer.data.resize(n);
    }
    return outcome;
}

BOOL scsiPassThrough(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned) {
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    ScsiRequest request;
    if (const DWORD error = readScsiRequest(in, inSize, out, outSize, request); error != 0) {
        return fail(error);
    }
    std::vector<std::uint8_t> data(request.header.DataTransferLength, 0);
    std::copy(request.outgoing.begin(), request.outgoing.end(), data.begin());
    ScsiOutcome outcome =
        runScsi(handle, request.cdb(), request.direction, data, request.header.TimeOutValue);
    if (!outcome.sent) {
        return fail(outcome.error);
    }
    setReturned(returned, writeScsiAnswer(request, outcome.answer, out));
    return TRUE;
}

struct AtaOutcome {
    bool done = false; // false: the request failed with `error`
    DWORD error = 0;
    AtaTaskFile registers;
    std::vector<std::uint8_t> data;
};

// Runs one ATA command: through SAT on SG_IO where the node opens, else IDENTIFY from what
// libata recorded (or from sysfs texts). Other commands need the device.
AtaOutcome runAta(Handle& handle, const AtaTaskFile& registers, DataDirection direction,
                  std::span<const std::uint8_t> dataOut, std::size_t dataInBytes,
                  unsigned timeout) {
    AtaOutcome outcome;
    const BlockDevice device = handle.current();
    std::vector<std::uint8_t> data(direction == DataDirection::In ? dataInBytes : dataOut.size());
    if (direction == DataDirection::Out) {
        std::copy(dataOut.begin(), dataOut.end(), data.begin());
    }
    bool deviceRefused = false;
    if (const int fd = handle.descriptor(); fd >= 0) {
        const auto cdb = ataPassThroughCdb(registers, direction, data.size());
        SgResult result = sendScsiCommand(fd, cdb, direction, data, timeout);
        if (result.error == 0 && !result.transportFailed) {
            outcome.registers = registers;
            if (decodeAtaReturn(result.sense, outcome.registers) || result.status == kScsiGood) {
                if (result.status == kScsiGood && result.sense.empty()) {
                    outcome.registers.features = 0;
                    outcome.registers.command = kAtaStatusReady;
                }
                outcome.done = true;
                data.resize(std::min(result.transferred, data.size()));
                outcome.data = std::move(data);
                return outcome;
            }
            deviceRefused = true; // the translation layer does not pass ATA commands
        } else if (result.error == EACCES || result.error == EPERM) {
            outcome.error = ERROR_ACCESS_DENIED;
            return outcome;
        }
    }
    if (!isAtaBus(device.bus)) {
        outcome.error = ERROR_INVALID_FUNCTION; // not an ATA device
        return outcome;
    }
    if (registers.command == kAtaIdentifyDevice && direction == DataDirection::In &&
        !deviceRefused) {
        AtaAnswer answer = answerAtaCommand(ataFactsFor(device), registers);
        outcome.done = true;
        outcome.registers = answer.registers;
        answer.data.resize(std::min(answer.data.size(), data.size()));
        outcome.data = std::move(answer.data);
        return outcome;
    }
    if (deviceRefused) {
        outcome.done = true;
        outcome.registers = registers;
        outcome.registers.features = kAtaErrorAbort;
        outcome.registers.command = kAtaStatusReady | kAtaStatusError;
        return outcome;
    }
    outcome.error = ERROR_ACCESS_DENIED;
    return outcome;
}

BOOL ataPassThrough(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                    DWORD* returned) {
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    AtaRequest request;
    if (const DWORD error = readAtaRequest(in, inSize, out, outSize, request); error != 0) {
        return fail(error);
    }
    const AtaOutcome outcome =
        runAta(handle, request.registers, request.direction, request.outgoing,
               request.header.DataTransferLength, request.header.TimeOutValue);
    if (!outcome.done) {
        return fail(outcome.error);
    }
    setReturned(returned, writeAtaAnswer(request, outcome.registers, outcome.data, out));
    return TRUE;
}

BOOL smartReceive(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) {
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    AtaTaskFile registers;
    if (const DWORD error = readSmartRequest(in, inSize, out, outSize, registers); error != 0) {
        return fail(error);
    }
    const AtaOutcome outcome = runAta(handle, registers, DataDirection::In, {}, 512, 10);
    if (!outcome.done) {
        return fail(outcome.error);
    }
    setReturned(returned, writeSmartAnswer(outcome.registers, outcome.data, out));
    return TRUE;
}

} // namespace platform::storage
