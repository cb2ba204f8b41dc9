#pragma once
// /proc/cpuinfo: one block of "key : value" lines per logical processor.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace libSysTopo::cpu {

struct CpuInfoEntry {
    unsigned processor = 0;
    std::optional<double> mhz; // "cpu MHz"; absent on kernels and architectures that omit it
    std::string modelName;     // "model name"; empty if absent
};

// One entry per "processor" line, in file order, each with the keys that follow it up to the next
// "processor" line. A block whose processor number is malformed is skipped, and so is a malformed
// or negative "cpu MHz" value (the entry stays, without mhz). Empty for a text without processors.
std::vector<CpuInfoEntry> parseProcCpuInfo(std::string_view text);
// The same into `entries`, whose storage (names included) is reused from call to call.
void parseProcCpuInfo(std::string_view text, std::vector<CpuInfoEntry>& entries);

// Whether an x86 kernel without a cpufreq driver shows a fixed "cpu MHz" (the clock it measured
// at boot): so it does unless the processor has APERF/MPERF counters, "aperfmperf" among the
// first processor's flags. False for a text without flags (other architectures).
bool cpuInfoClockIsFixed(std::string_view text);

} // namespace libSysTopo::cpu
