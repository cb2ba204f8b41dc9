#pragma once
// The cpufreq view of one logical processor: /sys/devices/system/cpu/cpuN/cpufreq, in kilohertz.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace libSysTopo::cpu {

struct CpuFrequency {
    std::optional<std::uint64_t> currentHz; // scaling_cur_freq, else cpuinfo_cur_freq
    std::optional<std::uint64_t> minHz;     // cpuinfo_min_freq: the hardware's lowest
    std::optional<std::uint64_t> maxHz;     // cpuinfo_max_freq: the hardware's highest
};

// Reads root/cpu<cpu>/cpufreq (root normally /sys/devices/system/cpu). A file that is missing,
// malformed or 0 leaves its member empty; all three are empty without a cpufreq driver.
CpuFrequency readCpuFrequency(const std::filesystem::path& root, unsigned cpu);

} // namespace libSysTopo::cpu
