#pragma once
// What a drive would answer to the identification and temperature commands, built only from the
// facts sysfs and hwmon give about it. Used when the device node cannot be opened for SG_IO
// (an unprivileged user, or a sandbox that denies even root), or the device does not speak SCSI.
// A command outside that set, or a page whose facts are missing, is refused the way a device
// refuses what it does not support: CHECK CONDITION, ILLEGAL REQUEST.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

struct DriveFacts {
    std::uint8_t peripheralType = 0; // 0 direct access, 5 CD/DVD
    bool removable = false;
    bool mediumPresent = true;
    std::uint8_t scsiVersion = 0; // INQUIRY VERSION; 0 claims no standard
    std::string vendor;           // at most 8 characters are sent
    std::string product;          // at most 16
    std::string revision;         // at most 4
    std::string serial;
    std::optional<std::vector<std::uint8_t>> vpd80; // raw pages the kernel cached, sent verbatim
    std::optional<std::vector<std::uint8_t>> vpd83;
    std::optional<int> temperature;          // degrees Celsius
    std::optional<int> referenceTemperature; // the drive's maximum operating temperature
    std::uint64_t logicalBlocks = 0;
    std::uint32_t logicalBlockSize = 512;
};

struct ScsiAnswer {
    std::uint8_t status = 0; // 0 GOOD, 2 CHECK CONDITION
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> sense; // fixed format, only with CHECK CONDITION
};

inline constexpr std::uint8_t kScsiGood = 0x00;
inline constexpr std::uint8_t kScsiCheckCondition = 0x02;

// Whether `opcode` is one this file answers from facts (INQUIRY, LOG SENSE, READ CAPACITY,
// TEST UNIT READY).
bool isSynthesizedScsiCommand(std::uint8_t opcode);

// The answer to a CDB; `data` is already cut to the CDB's allocation length. Commands outside the
// synthesized set get INVALID COMMAND OPERATION CODE.
ScsiAnswer answerScsiCommand(const DriveFacts& facts, std::span<const std::uint8_t> cdb);

// Fixed-format sense data with a sense key, ASC and ASCQ.
std::vector<std::uint8_t> fixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

// An ATA IDENTIFY DEVICE block with the texts in ATA byte order, the capacity in words 60-61 and
// 100-103, and a valid checksum. Only fields sysfs knows are set.
std::array<std::uint8_t, 512> synthesizeIdentify(const std::string& model,
                                                 const std::string& serial,
                                                 const std::string& firmware, std::uint64_t sectors,
                                                 bool removable);

} // namespace platform
