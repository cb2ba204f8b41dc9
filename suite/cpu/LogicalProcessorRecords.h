#pragma once
// The records GetLogicalProcessorInformationEx returns, decoded from their bytes: packages and
// cores with the processors of every processor group.

#include "suite/cpu/ProcessorLayout.h"

#include <cstdint>
#include <span>
#include <vector>

namespace libSysTopo::cpu {

// Wire layout of SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX, as 64-bit Windows lays it out.
namespace glpi {
inline constexpr std::uint32_t kRelationProcessorCore = 0;
inline constexpr std::uint32_t kRelationProcessorPackage = 3;
inline constexpr std::size_t kHeaderSize = 8;         // DWORD Relationship, DWORD Size
inline constexpr std::size_t kGroupCountOffset = 30;  // PROCESSOR_RELATIONSHIP.GroupCount (WORD)
inline constexpr std::size_t kGroupMaskOffset = 32;   // PROCESSOR_RELATIONSHIP.GroupMask[]
inline constexpr std::size_t kGroupAffinitySize = 16; // KAFFINITY Mask, WORD Group, WORD[3]
} // namespace glpi

// The packages in record order (id = their index), each with the cores whose first processor it
// holds, numbered in record order from 0 (Windows gives cores no numbers of its own). Processor
// n is bit n % 64 of group n / 64. Records of other relations are skipped; decoding stops at a
// record whose size is too small or runs past the buffer, keeping what came before. Cores outside
// every package are left out; without any package record, all cores form one package.
std::vector<PackageLayout> decodeLogicalProcessorRecords(std::span<const std::uint8_t> buffer);

} // namespace libSysTopo::cpu
