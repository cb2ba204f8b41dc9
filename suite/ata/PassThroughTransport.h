#pragma once
// The one place where the device libraries send commands to a device: the pass-through control
// requests, each a single win32::DeviceIoControl on a handle the caller owns. Every call reports
// how many data bytes came back, or nullopt when the request or the command failed; the data
// buffer is zero-filled first, so bytes that did not come back read as zero.

#include "platform/Win32.h"
#include "suite/ata/AtaProtocol.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace qelrlibata {

class PassThroughTransport {
public:
    // Larger data requests are refused rather than allocated.
    static constexpr std::size_t kMaxDataLength = 64 * 1024;
    static constexpr std::uint32_t kTimeoutSeconds = 10;

    explicit PassThroughTransport(HANDLE device) : device_(device) {}

    // IOCTL_ATA_PASS_THROUGH, PIO data-in. Fails when the returned status has its error bit set.
    std::optional<std::size_t> ataPassThrough(const AtaTaskFile& task,
                                              std::span<std::uint8_t> data) const;

    // SMART_RCV_DRIVE_DATA: a SMART data-in command through the legacy SMART request, at most one
    // 512-byte sector. Fails when the driver or the device reports an error.
    std::optional<std::size_t> smartReceive(const AtaTaskFile& task,
                                            std::span<std::uint8_t> data) const;

    // IOCTL_SCSI_PASS_THROUGH of a data-in CDB (6 to 16 bytes). Fails unless the SCSI status is
    // GOOD.
    std::optional<std::size_t> scsiDataIn(std::span<const std::uint8_t> cdb,
                                          std::span<std::uint8_t> data) const;

    // An ATA data-in command wrapped in ATA PASS-THROUGH(16), for a disk behind a SCSI-to-ATA
    // translation layer.
    std::optional<std::size_t> scsiAtaPassThrough(const AtaTaskFile& task,
                                                  std::span<std::uint8_t> data) const;

private:
    HANDLE device_;
};

} // namespace qelrlibata
