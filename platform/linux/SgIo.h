#pragma once
// SCSI commands to a Linux block device node through the SG_IO ioctl, and the SAT translation
// of ATA commands (ATA PASS-THROUGH(16)) that carries the ATA and SMART requests.

#include "platform/PassThroughRequest.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

struct SgResult {
    int error = 0;                // errno of the ioctl; 0 when the command reached the device
    bool transportFailed = false; // the host adapter or driver reported a failure
    std::uint8_t status = 0;      // SCSI status byte
    std::size_t transferred = 0;  // bytes of data moved
    std::vector<std::uint8_t> sense;
};

// Sends one CDB on an open descriptor; `data` is read from or written to by direction.
SgResult sendScsiCommand(int fd, std::span<const std::uint8_t> cdb, DataDirection direction,
                         std::span<std::uint8_t> data, unsigned timeoutSeconds);

// ATA PASS-THROUGH(16) for a 28-bit command, PIO protocol, asking for the registers back
// (CK_COND). The transfer length is counted in 512-byte blocks in the count field; a count of 0
// with data is replaced by the data's block count.
std::array<std::uint8_t, 16> ataPassThroughCdb(const AtaTaskFile& registers,
                                               DataDirection direction, std::size_t dataBytes);

// The returned registers (error in `features`, status in `command`) from the sense data of an
// ATA PASS-THROUGH: the ATA status return descriptor of descriptor-format sense, or the fixed
// format's ATA PASS-THROUGH INFORMATION AVAILABLE; false when the sense carries neither.
bool decodeAtaReturn(std::span<const std::uint8_t> sense, AtaTaskFile& registers);

} // namespace platform
