#include "suite/cpu/CpuTimes.h"

#include "platform/Hot.h"

#include <cmath>

namespace libCpuProbe::cpu {
namespace {

SM_HOT std::optional<unsigned> share(const CpuTimeSample* before, const CpuTimeSample& after,
                                     std::span<const unsigned> cpus) {
    if (cpus.empty()) {
        return std::nullopt;
    }
    // Summed in double: totals of many processors in 100 ns units can pass 2^64 / 100.
    double busy = 0.0;
    double total = 0.0;
    for (const unsigned cpu : cpus) {
        const auto now = after.find(cpu);
        if (now == after.end()) {
            return std::nullopt;
        }
        CpuTimes earlier;
        if (before != nullptr) {
            const auto then = before->find(cpu);
            if (then == before->end()) {
                return std::nullopt;
            }
            earlier = then->second;
        }
        if (now->second.busy < earlier.busy || now->second.idle < earlier.idle) {
            return std::nullopt;
        }
        const std::uint64_t busyDelta = now->second.busy - earlier.busy;
        const std::uint64_t idleDelta = now->second.idle - earlier.idle;
        busy += static_cast<double>(busyDelta);
        total += static_cast<double>(busyDelta) + static_cast<double>(idleDelta);
    }
    if (total <= 0.0) {
        return std::nullopt;
    }
    return static_cast<unsigned>(std::lround(100.0 * busy / total));
}

} // namespace

CpuTimes timesFromKernelUser(std::uint64_t idle, std::uint64_t kernel, std::uint64_t user) {
    return CpuTimes{(kernel > idle ? kernel - idle : 0) + user, idle};
}

SM_HOT std::optional<unsigned> busyPercent(const CpuTimeSample& before, const CpuTimeSample& after,
                                           std::span<const unsigned> cpus) {
    return share(&before, after, cpus);
}

std::optional<unsigned> busyPercentSinceBoot(const CpuTimeSample& after,
                                             std::span<const unsigned> cpus) {
    return share(nullptr, after, cpus);
}

} // namespace libCpuProbe::cpu
