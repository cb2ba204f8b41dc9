#pragma once
// Wire structures of the pass-through control requests, declared once for every platform with
// the 64-bit Windows layouts. The device libraries build them; the backends answer them.

#include "platform/Win32.h"

#include <cstddef>
#include <cstdint>

namespace win32 {

inline constexpr DWORD kIoctlAtaPassThrough = 0x0004D02C;
inline constexpr DWORD kIoctlScsiPassThrough = 0x0004D004;
inline constexpr DWORD kSmartRcvDriveData = 0x0007C088;

// AtaFlags of AtaPassThroughEx.
inline constexpr std::uint16_t kAtaFlagsDrdyRequired = 0x01;
inline constexpr std::uint16_t kAtaFlagsDataIn = 0x02;
inline constexpr std::uint16_t kAtaFlagsDataOut = 0x04;

// ATA_PASS_THROUGH_EX; the data buffer follows at DataBufferOffset within the same block.
struct AtaPassThroughEx {
    std::uint16_t Length;             // 0: sizeof(AtaPassThroughEx)
    std::uint16_t AtaFlags;           // 2
    std::uint8_t PathId;              // 4
    std::uint8_t TargetId;            // 5
    std::uint8_t Lun;                 // 6
    std::uint8_t ReservedAsUchar;     // 7
    std::uint32_t DataTransferLength; // 8
    std::uint32_t TimeOutValue;       // 12: seconds
    std::uint32_t ReservedAsUlong;    // 16
    std::uint64_t DataBufferOffset;   // 24: ULONG_PTR
    std::uint8_t PreviousTaskFile[8]; // 32
    std::uint8_t CurrentTaskFile[8];  // 40: features, count, lba low/mid/high, device, command
};
static_assert(sizeof(AtaPassThroughEx) == 48);
static_assert(offsetof(AtaPassThroughEx, DataBufferOffset) == 24);

inline constexpr std::uint8_t kScsiIoctlDataOut = 0;
inline constexpr std::uint8_t kScsiIoctlDataIn = 1;
inline constexpr std::uint8_t kScsiIoctlDataUnspecified = 2;

// SCSI_PASS_THROUGH; data and sense areas follow at their offsets within the same block.
struct ScsiPassThrough {
    std::uint16_t Length;             // 0: sizeof(ScsiPassThrough)
    std::uint8_t ScsiStatus;          // 2: SCSI status byte on return
    std::uint8_t PathId;              // 3
    std::uint8_t TargetId;            // 4
    std::uint8_t Lun;                 // 5
    std::uint8_t CdbLength;           // 6
    std::uint8_t SenseInfoLength;     // 7
    std::uint8_t DataIn;              // 8: kScsiIoctlData*
    std::uint32_t DataTransferLength; // 12
    std::uint32_t TimeOutValue;       // 16
    std::uint64_t DataBufferOffset;   // 24: ULONG_PTR
    std::uint32_t SenseInfoOffset;    // 32
    std::uint8_t Cdb[16];             // 36
};
static_assert(sizeof(ScsiPassThrough) == 56);
static_assert(offsetof(ScsiPassThrough, Cdb) == 36);

#pragma pack(push, 1)
// IDEREGS: the ATA task file of a SMART request.
struct IdeRegs {
    std::uint8_t bFeaturesReg;     // 0
    std::uint8_t bSectorCountReg;  // 1
    std::uint8_t bSectorNumberReg; // 2
    std::uint8_t bCylLowReg;       // 3
    std::uint8_t bCylHighReg;      // 4
    std::uint8_t bDriveHeadReg;    // 5
    std::uint8_t bCommandReg;      // 6
    std::uint8_t bReserved;        // 7
};
static_assert(sizeof(IdeRegs) == 8);

// SENDCMDINPARAMS without its trailing data byte.
struct SendCmdInParams {
    std::uint32_t cBufferSize;   // 0
    IdeRegs irDriveRegs;         // 4
    std::uint8_t bDriveNumber;   // 12
    std::uint8_t bReserved[3];   // 13
    std::uint32_t dwReserved[4]; // 16
};
static_assert(sizeof(SendCmdInParams) == 32);

// SENDCMDOUTPARAMS without its data: the 512 bytes of the answer follow.
struct SendCmdOutParams {
    std::uint32_t cBufferSize;   // 0
    std::uint8_t bDriverError;   // 4
    std::uint8_t bIDEError;      // 5
    std::uint8_t bReserved[2];   // 6
    std::uint32_t dwReserved[2]; // 8
};
static_assert(sizeof(SendCmdOutParams) == 16);
#pragma pack(pop)

// STORAGE_TEMPERATURE_INFO
struct StorageTemperatureInfo {
    std::uint16_t Index;                  // 0
    std::int16_t Temperature;             // 2: degrees Celsius
    std::int16_t OverThreshold;           // 4
    std::int16_t UnderThreshold;          // 6
    std::uint8_t OverThresholdChangable;  // 8
    std::uint8_t UnderThresholdChangable; // 9
    std::uint8_t EventGenerated;          // 10
    std::uint8_t Reserved0;               // 11
    std::uint32_t Reserved1;              // 12
};
static_assert(sizeof(StorageTemperatureInfo) == 16);

// STORAGE_TEMPERATURE_DATA_DESCRIPTOR with room for one reading.
struct StorageTemperatureDataDescriptor {
    std::uint32_t Version;                     // 0
    std::uint32_t Size;                        // 4
    std::int16_t CriticalTemperature;          // 8
    std::int16_t WarningTemperature;           // 10
    std::uint16_t InfoCount;                   // 12
    std::uint8_t Reserved0[2];                 // 14
    std::uint32_t Reserved1[2];                // 16
    StorageTemperatureInfo TemperatureInfo[1]; // 24
};
static_assert(sizeof(StorageTemperatureDataDescriptor) == 40);

} // namespace win32
