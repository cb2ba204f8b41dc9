#pragma once
// The storage control requests a disk answers, shared by the emulator's files: the queries
// (EmulatedQueries.cpp: device number, property, length, geometry) and the pass-through
// (EmulatedPassThrough.cpp: SCSI, ATA and SMART). Each fails with its Win32 error set.

#include "platform/StorageFacts.h"

#include <optional>

namespace platform::emulated {

// Sets the last error and returns FALSE; with 0, returns TRUE.
BOOL fail(DWORD error);
BOOL answered(DWORD error);

// A request on a disk's handle, dispatched by control code.
BOOL diskIoControl(const DiskFacts& disk, DWORD code, void* in, DWORD inSize, void* out,
                   DWORD outSize, DWORD* returned);

// The two a volume's handle answers for itself.
BOOL deviceNumber(const std::optional<DeviceNumberFacts>& facts, void* out, DWORD outSize,
                  DWORD* returned);
BOOL length(const std::optional<std::uint64_t>& bytes, void* out, DWORD outSize, DWORD* returned);

BOOL scsiPassThrough(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned);
BOOL ataPassThrough(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                    DWORD* returned);
BOOL smartReceive(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned);

} // namespace platform::emulated
