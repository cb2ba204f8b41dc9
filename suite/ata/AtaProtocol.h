#pragma once
// ATA commands as bytes: the task files of the commands we issue, their ATA PASS-THROUGH(16)
// wrapping for a SCSI-to-ATA translation layer, and the decoding of an IDENTIFY DEVICE answer.
// Nothing here touches a handle.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qelrlibata {

inline constexpr std::size_t kAtaSectorSize = 512;

inline constexpr std::uint8_t kAtaIdentifyDevice = 0xEC;
inline constexpr std::uint8_t kAtaSmart = 0xB0;
inline constexpr std::uint8_t kSmartReadData = 0xD0;
// The SMART command is only accepted with this signature in LBA mid/high.
inline constexpr std::uint8_t kSmartLbaMid = 0x4F;
inline constexpr std::uint8_t kSmartLbaHigh = 0xC2;

// Status register bits.
inline constexpr std::uint8_t kAtaStatusError = 0x01;

// The registers of a 28-bit ATA command, in the order of the pass-through task file.
struct AtaTaskFile {
    std::uint8_t features = 0;
    std::uint8_t sectorCount = 0;
    std::uint8_t lbaLow = 0;
    std::uint8_t lbaMid = 0;
    std::uint8_t lbaHigh = 0;
    std::uint8_t device = 0;
    std::uint8_t command = 0;

    // The eight bytes of CurrentTaskFile (the last one reserved).
    std::array<std::uint8_t, 8> bytes() const;

    bool operator==(const AtaTaskFile&) const = default;
};

// IDENTIFY DEVICE: one 512-byte sector in.
AtaTaskFile identifyDeviceTaskFile();

// SMART READ DATA: one 512-byte sector in.
AtaTaskFile smartReadDataTaskFile();

inline constexpr std::uint8_t kAtaPassThrough16 = 0x85;
inline constexpr std::size_t kAtaPassThrough16Length = 16;

// ATA PASS-THROUGH(16) carrying a PIO data-in command of `task.sectorCount` sectors: transfer
// length in the sector count field, counted in 512-byte blocks, from the device.
std::array<std::uint8_t, kAtaPassThrough16Length> ataPassThrough16Cdb(const AtaTaskFile& task);

// Whether `block` is a usable IDENTIFY DEVICE answer: at least 512 bytes, not all zero (a
// transport that moved nothing), word 0 bit 15 clear (an ATA device, not ATAPI), and when the
// integrity word carries its 0xA5 signature, all 512 bytes summing to 0 modulo 256.
bool isValidIdentify(std::span<const std::uint8_t> block);

// The ATA string in words [firstWord, firstWord + wordCount) of `block`: each word holds two
// characters, the first in its high byte. Trailing blanks and NULs are removed. Words past the
// end of `block` are not read, so a short block yields a shorter (possibly empty) string.
std::string ataString(std::span<const std::uint8_t> block, std::size_t firstWord,
                      std::size_t wordCount);

struct IdentifyData {
    std::string model;           // words 27-46
    std::string serial;          // words 10-19
    std::string firmware;        // words 23-26
    bool smartSupported = false; // word 82 bit 0
    bool smartEnabled = false;   // word 85 bit 0
};

// The identity in an IDENTIFY DEVICE answer; nullopt when !isValidIdentify(block).
std::optional<IdentifyData> decodeIdentify(std::span<const std::uint8_t> block);

} // namespace qelrlibata
