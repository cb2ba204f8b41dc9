#pragma once
// The kernel's list format for sets of logical processors, as in /sys/devices/system/cpu/online
// and the topology sibling lists: comma-separated numbers and inclusive ranges ("0-3,8,10-11").

#include <optional>
#include <string_view>
#include <vector>

namespace libSysTopo::cpu {

// The processors of the list, ascending and without duplicates. An empty (or blank) text is the
// empty set. nullopt when the text is malformed: a stray character, a reversed range, a number
// that does not fit, or a processor number at or above kMaxCpuNumber.
std::optional<std::vector<unsigned>> parseCpuList(std::string_view text);

// Guards against a corrupt range asking for billions of entries; far above any kernel's NR_CPUS.
inline constexpr unsigned kMaxCpuNumber = 1u << 16;

} // namespace libSysTopo::cpu
