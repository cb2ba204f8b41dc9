#pragma once
// The bytes a simulated disk answers with: the storage device descriptor, and the ATA and SCSI
// commands that reach it through pass-through. Pure functions of the disk's facts; the transport
// (SimulatedMachine) unpacks the requests and copies the answers into the caller's buffers.

#include "platform/simulated/Machine.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::simulated {

using Bytes = std::vector<std::uint8_t>;
using Block = std::array<std::uint8_t, 512>;

// STORAGE_DEVICE_DESCRIPTOR: the 40-byte fixed part, then each text that is there as a
// zero-terminated string (vendor, product, revision, serial); a missing text has offset 0.
Bytes storageDeviceDescriptor(const DescriptorState& descriptor);

// IDENTIFY DEVICE data: model (words 27-46), serial (10-19) and firmware (23-26) in ATA string
// order, space-padded; SMART support from the SMART facts, LBA capacity from the disk length;
// word 255 carries the checksum. A recorded block is returned as it stands.
Block ataIdentifyBlock(const DiskState& disk);

// SMART READ DATA: one attribute, 194 (temperature, current value in raw byte 0), and a valid
// checksum in byte 511.
Block smartDataBlock(int temperature);

// The ATA task file in (command, features, count, LBA, device) and out (status, error, ...).
struct AtaRegisters {
    std::uint8_t features = 0; // out: error
    std::uint8_t count = 0;
    std::uint8_t lbaLow = 0;
    std::uint8_t lbaMid = 0;
    std::uint8_t lbaHigh = 0;
    std::uint8_t device = 0;
    std::uint8_t command = 0; // out: status
};

inline constexpr std::uint8_t kAtaIdentifyDevice = 0xEC;
inline constexpr std::uint8_t kAtaSmart = 0xB0;
inline constexpr std::uint8_t kSmartReadData = 0xD0;
inline constexpr std::uint8_t kSmartEnableOperations = 0xD8;
inline constexpr std::uint8_t kSmartReturnStatus = 0xDA;
inline constexpr std::uint8_t kSmartLbaMid = 0x4F;
inline constexpr std::uint8_t kSmartLbaHigh = 0xC2;

inline constexpr std::uint8_t kAtaStatusReady = 0x50; // DRDY | DSC
inline constexpr std::uint8_t kAtaStatusError = 0x01;
inline constexpr std::uint8_t kAtaErrorAbort = 0x04;

struct AtaResult {
    bool aborted = false;
    Bytes data; // data-in payload, empty for non-data commands and aborts
    AtaRegisters registers;
};

// Runs one ATA command on a disk with an ATA section: IDENTIFY DEVICE, and SMART READ DATA,
// ENABLE OPERATIONS and RETURN STATUS (SMART needs the 0x4F/0xC2 signature in LBA mid/high).
// Anything else, or a fact that is not there, aborts the command (status ERR, error ABRT).
AtaResult executeAta(const DiskState& disk, const AtaRegisters& in);

inline constexpr std::uint8_t kScsiStatusGood = 0x00;
inline constexpr std::uint8_t kScsiStatusCheckCondition = 0x02;
inline constexpr std::uint8_t kSenseIllegalRequest = 0x05;
inline constexpr std::uint8_t kSenseAbortedCommand = 0x0B;
inline constexpr std::uint8_t kAscInvalidOperationCode = 0x20;
inline constexpr std::uint8_t kAscInvalidFieldInCdb = 0x24;

inline constexpr std::uint8_t kScsiTestUnitReady = 0x00;
inline constexpr std::uint8_t kScsiInquiry = 0x12;
inline constexpr std::uint8_t kScsiLogSense = 0x4D;
inline constexpr std::uint8_t kScsiAtaPassThrough16 = 0x85;
inline constexpr std::uint8_t kScsiAtaPassThrough12 = 0xA1;

struct ScsiResult {
    std::uint8_t status = kScsiStatusGood;
    Bytes data;  // data-in payload, already cut to the CDB's allocation length
    Bytes sense; // fixed-format sense data with CHECK CONDITION
};

// Runs one SCSI command: TEST UNIT READY, INQUIRY (standard data; VPD pages 0x00 and 0x80),
// LOG SENSE (pages 0x00 and 0x0D) from the SCSI section, and ATA PASS-THROUGH (12 and 16) into
// the ATA section. What the disk does not have fails with CHECK CONDITION: ILLEGAL REQUEST, or
// ABORTED COMMAND when the passed-through ATA command aborts.
ScsiResult executeScsi(const DiskState& disk, const std::uint8_t* cdb, std::size_t cdbLength);

} // namespace platform::simulated
