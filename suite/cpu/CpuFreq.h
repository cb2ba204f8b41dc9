#pragma once
// The cpufreq view of one logical processor: /sys/devices/system/cpu/cpuN/cpufreq, in kilohertz.

#include "platform/KeptFile.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace libSysTopo::cpu {

struct CpuFrequency {
    std::optional<std::uint64_t> currentHz; // scaling_cur_freq, else cpuinfo_cur_freq
    std::optional<std::uint64_t> minHz;     // cpuinfo_min_freq: the hardware's lowest
    std::optional<std::uint64_t> maxHz;     // cpuinfo_max_freq: the hardware's highest
};

// Reads root/cpu<cpu>/cpufreq (root normally /sys/devices/system/cpu). A file that is missing,
// malformed or 0 leaves its member empty; all three are empty without a cpufreq driver.
CpuFrequency readCpuFrequency(const std::filesystem::path& root, unsigned cpu);

// The same, for readers called on every snapshot: which files a processor has is decided on its
// first reading, so a machine without cpufreq costs no file access after that; the files found
// stay open. A file that disappears later (the processor taken offline) leaves its member empty,
// and is read again when it comes back. Not for concurrent use: its owner serializes.
class CpuFreqFiles {
public:
    explicit CpuFreqFiles(std::filesystem::path root);
    CpuFrequency read(unsigned cpu);

private:
    struct Files {
        bool probed = false;
        std::vector<platform::KeptFile> current; // in order of preference
        std::vector<platform::KeptFile> min;     // none or one
        std::vector<platform::KeptFile> max;
    };
    std::filesystem::path root_;
    std::vector<Files> cpus_;
};

} // namespace libSysTopo::cpu
