#pragma once
// The pass-through requests (IOCTL_SCSI_PASS_THROUGH, IOCTL_ATA_PASS_THROUGH,
// SMART_RCV_DRIVE_DATA) read from and written back to the caller's buffers, checked once for
// every backend the way the Windows port drivers check them: the data buffer lies within the
// input block for data going out and within the output block for data coming in; the sense
// buffer within the output block. Data comes back only on a data-in request.

#include "platform/DriveAnswers.h"
#include "platform/PassThrough.h"

#include <cstddef>
#include <span>

namespace platform {

enum class DataDirection { None, In, Out };

struct ScsiRequest {
    win32::ScsiPassThrough header{};
    DataDirection direction = DataDirection::None;
    std::span<const std::uint8_t> outgoing; // the data-out bytes in the caller's input block

    std::span<const std::uint8_t> cdb() const { return {header.Cdb, header.CdbLength}; }
};

// 0 when the request is well formed, else the Win32 error to fail it with.
DWORD readScsiRequest(const void* in, DWORD inSize, const void* out, DWORD outSize,
                      ScsiRequest& request);

// Copies status, data in and sense into `out`; returns the bytes returned.
std::size_t writeScsiAnswer(ScsiRequest& request, const ScsiAnswer& answer, void* out);

struct AtaRequest {
    win32::AtaPassThroughEx header{};
    AtaTaskFile registers;
    DataDirection direction = DataDirection::None;
    std::span<const std::uint8_t> outgoing;
};

DWORD readAtaRequest(const void* in, DWORD inSize, const void* out, DWORD outSize,
                     AtaRequest& request);

// Copies the registers as the device left them and the data in (cut to the request's length);
// returns the bytes returned.
std::size_t writeAtaAnswer(AtaRequest& request, const AtaTaskFile& after,
                           std::span<const std::uint8_t> data, void* out);

inline constexpr DWORD kSmartAnswerSize = sizeof(win32::SendCmdOutParams) + 512;

// SMART_RCV_DRIVE_DATA carries IDENTIFY DEVICE and SMART commands that read one block.
DWORD readSmartRequest(const void* in, DWORD inSize, const void* out, DWORD outSize,
                       AtaTaskFile& registers);

// The answer block: a driver error with the drive's error register when the command failed
// (status ERR), then the 512 data bytes; returns the bytes returned.
std::size_t writeSmartAnswer(const AtaTaskFile& after, std::span<const std::uint8_t> data,
                             void* out);

} // namespace platform
