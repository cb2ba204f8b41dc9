#pragma once
// What a drive told the kernel about itself: the IDENTIFY block libata recorded and the VPD
// pages the SCSI layer cached.

#include "platform/linux/SysBlock.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using IdentifyBlock = std::array<std::uint8_t, 512>;

// The 256 hexadecimal words of libata's `id` attribute as the 512 bytes of an IDENTIFY answer
// (little-endian words); nullopt unless exactly 256 words are found.
std::optional<IdentifyBlock> parseAtaIdText(std::string_view text);

// The IDENTIFY block libata read from an ATA disk at probe time; nullopt for other disks.
std::optional<IdentifyBlock> readAtaIdentify(const BlockDevice& device);

// A raw VPD page the SCSI layer cached (vpd_pg80, vpd_pg83); nullopt where there is none.
std::optional<std::vector<std::uint8_t>> readVpdPage(const BlockDevice& device, std::uint8_t page);

// The serial of a unit serial number page (80h), bounded by the page and its length, printable
// and blank-trimmed; empty for any other page.
std::string vpdSerial(const std::vector<std::uint8_t>& page);

// An IDENTIFY text field: `words` words from `first`, the first character of each pair in the
// high byte, blank-trimmed.
std::string identifyText(const IdentifyBlock& block, std::size_t first, std::size_t words);

} // namespace platform
