#pragma once
// Busy and idle time of logical processors, and the busy share between two readings. The same
// arithmetic serves /proc/stat ticks and Windows' 100-nanosecond processor times.

#include <cstdint>
#include <map>
#include <optional>
#include <span>

namespace libCpuProbe::cpu {

// Time one logical processor has spent busy and idle since boot, in the source's own unit.
struct CpuTimes {
    std::uint64_t busy = 0;
    std::uint64_t idle = 0;
};

// Windows' processor times (100 ns units): kernel time includes idle time. A kernel time below
// the idle time (counters read at slightly different moments) counts as no kernel busy time.
CpuTimes timesFromKernelUser(std::uint64_t idle, std::uint64_t kernel, std::uint64_t user);

// One reading of every online logical processor's counters, by processor number.
using CpuTimeSample = std::map<unsigned, CpuTimes>;

// The busy share of the processors `cpus` between two readings: busy time over busy plus idle
// time, summed over the processors, as a whole percent rounded to nearest. nullopt when `cpus`
// is empty, a processor is missing from either reading, a processor's busy or idle time went
// backwards (a counter reset or a processor brought back online), or no time passed at all.
std::optional<unsigned> busyPercent(const CpuTimeSample& before, const CpuTimeSample& after,
                                    std::span<const unsigned> cpus);

// The same since boot: as if the earlier reading were all zeros.
std::optional<unsigned> busyPercentSinceBoot(const CpuTimeSample& after,
                                             std::span<const unsigned> cpus);

} // namespace libCpuProbe::cpu
