#pragma once
// What a drive answers to the identification, capacity, temperature and SMART commands, built
// from facts about it. Both backends answer from here: the simulated machine for every disk, the
// Linux one when the device node cannot be opened for SG_IO or the device does not speak SCSI.
// A command outside the set, or a page whose facts are missing, is refused the way a device
// refuses what it does not support: CHECK CONDITION, ILLEGAL REQUEST (ATA: ABRT).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

using Block512 = std::array<std::uint8_t, 512>;

// An ATA register set as the Windows pass-through requests carry it.
struct AtaTaskFile {
    std::uint8_t features = 0; // on return: error
    std::uint8_t count = 0;
    std::uint8_t lbaLow = 0;
    std::uint8_t lbaMid = 0;
    std::uint8_t lbaHigh = 0;
    std::uint8_t device = 0;
    std::uint8_t command = 0; // on return: status
};

// Texts are sent as they stand: a source that reads them from elsewhere makes them printable.

// The texts of IDENTIFY DEVICE, or the block the kernel recorded, sent as it stands.
struct AtaIdentity {
    std::string model;
    std::string serial;
    std::string firmware;
    std::optional<Block512> recorded;
};

struct DriveFacts {
    bool speaksScsi = true;          // false: INQUIRY and LOG SENSE are unknown commands
    bool standardInquiry = true;     // false: standard INQUIRY data is refused
    std::uint8_t peripheralType = 0; // 0 direct access, 5 CD/DVD
    bool removable = false;
    bool mediumPresent = true;
    std::uint8_t scsiVersion = 0;                   // INQUIRY VERSION; 0 claims no standard
    std::string vendor;                             // at most 8 characters are sent
    std::string product;                            // at most 16
    std::string revision;                           // at most 4
    std::optional<std::string> serial;              // VPD page 0x80 text
    std::optional<std::vector<std::uint8_t>> vpd80; // raw pages the kernel cached, sent verbatim
    std::optional<std::vector<std::uint8_t>> vpd83;
    std::optional<std::vector<std::uint8_t>> inquiryRecorded; // standard INQUIRY, sent verbatim
    std::map<std::uint8_t, std::vector<std::uint8_t>> logPagesRecorded; // LOG SENSE, verbatim
    std::optional<int> temperature;                                     // degrees Celsius
    std::optional<int> referenceTemperature; // the drive's maximum operating temperature
    std::uint64_t logicalBlocks = 0;
    std::uint32_t logicalBlockSize = 512;

    bool ata = false; // answers ATA commands, also through ATA PASS-THROUGH CDBs
    std::optional<AtaIdentity> identify;
    std::optional<std::uint64_t> ataSectors; // 512-byte sectors; empty: no LBA capacity
    std::optional<int> smartTemperature;     // SMART attribute 194; empty: no SMART...
    std::optional<Block512> smartRecorded;   // ...unless the whole SMART READ DATA is recorded
};

struct ScsiAnswer {
    std::uint8_t status = 0; // 0 GOOD, 2 CHECK CONDITION
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> sense; // fixed format, only with CHECK CONDITION
};

inline constexpr std::uint8_t kScsiGood = 0x00;
inline constexpr std::uint8_t kScsiCheckCondition = 0x02;

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

// Whether `opcode` is one answered from the identification facts alone (INQUIRY, LOG SENSE,
// READ CAPACITY, TEST UNIT READY): what the Linux backend may answer without the device.
bool isSynthesizedScsiCommand(std::uint8_t opcode);

// The answer to a CDB; `data` is already cut to the CDB's allocation length. ATA PASS-THROUGH
// (12 and 16) runs the ATA command; an aborted one is ABORTED COMMAND. Commands outside the set
// get INVALID COMMAND OPERATION CODE.
ScsiAnswer answerScsiCommand(const DriveFacts& facts, std::span<const std::uint8_t> cdb);

struct AtaAnswer {
    bool aborted = false;
    std::vector<std::uint8_t> data; // data-in payload, empty for non-data commands and aborts
    AtaTaskFile registers;          // as the device leaves them
};

// IDENTIFY DEVICE, and SMART READ DATA, ENABLE OPERATIONS and RETURN STATUS (SMART needs the
// 0x4F/0xC2 signature in LBA mid/high). Anything else, or a missing fact, aborts.
AtaAnswer answerAtaCommand(const DriveFacts& facts, const AtaTaskFile& in);

// Fixed-format sense data with a sense key, ASC and ASCQ.
std::vector<std::uint8_t> fixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

// IDENTIFY DEVICE data: the recorded block, or one with the texts in ATA string order, SMART
// support from the SMART facts, LBA capacity in words 60-61 and 100-103, and a valid checksum.
Block512 identifyBlock(const DriveFacts& facts);

// SMART READ DATA: one attribute, 194 (temperature, current value in raw byte 0), and a valid
// checksum in byte 511.
Block512 smartDataBlock(int temperature);

} // namespace platform
