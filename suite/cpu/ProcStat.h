#pragma once
// /proc/stat: the per-processor "cpuN" lines of cumulative time in clock ticks.

#include "suite/cpu/CpuTimes.h"

#include <string_view>

namespace libCpuProbe::cpu {

// The "cpuN" lines (not the "cpu" total) as busy and idle time: busy = user + nice + system +
// irq + softirq + steal, idle = idle + iowait; guest and guest_nice are already inside user and
// nice. Columns a kernel does not have yet (older kernels stop after idle, iowait, ...) count as
// 0. A line with fewer than the first four columns, or with a column that is not a number, is
// left out. Offline processors have no line, so they are absent from the sample.
CpuTimeSample parseProcStat(std::string_view text);
// The same into `sample`, whose storage is reused: no allocation once it has held as many.
void parseProcStat(std::string_view text, CpuTimeSample& sample);

} // namespace libCpuProbe::cpu
