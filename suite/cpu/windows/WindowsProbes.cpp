// The live Windows machine's usage meter: processor times of NtQuerySystemInformation, group by
// group. Windows has no processor temperature that can be read without a driver.

#include "platform/Win32.h"
#include "platform/windows/NtEntries.h"
#include "suite/cpu/CpuTemperatureAccessors.h"
#include "suite/cpu/CpuTimeMetrics.h"

#include <winternl.h>

#include <vector>

namespace libCpuProbe::cpu {
namespace {

using Performance = SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION;
static_assert(sizeof(Performance) == 48);

constexpr unsigned kGroupSize = libSysTopo::cpu::AffinityMask::kGroupSize;

std::uint64_t ticks(const LARGE_INTEGER& value) {
    return value.QuadPart < 0 ? 0 : static_cast<std::uint64_t>(value.QuadPart);
}

// One group's processors; the plain query answers for the caller's group only, which is all
// there is on a machine of one group.
bool readGroup(WORD group, WORD groups, std::vector<Performance>& entries, CpuTimeSample& sample) {
    entries.resize(kGroupSize);
    const auto bytes = static_cast<ULONG>(entries.size() * sizeof(Performance));
    ULONG returned = 0;
    NTSTATUS status;
    if (groups == 1) {
        status = platform::ntQuerySystemInformation(SystemProcessorPerformanceInformation,
                                                    entries.data(), bytes, &returned);
    } else {
        USHORT input = group;
        status =
            platform::ntQuerySystemInformationEx(SystemProcessorPerformanceInformation, &input,
                                                 sizeof(input), entries.data(), bytes, &returned);
    }
    if (status < 0) {
        return false;
    }
    const std::size_t count = std::min<std::size_t>(returned / sizeof(Performance), kGroupSize);
    for (std::size_t i = 0; i < count; ++i) {
        sample[group * kGroupSize + static_cast<unsigned>(i)] = timesFromKernelUser(
            ticks(entries[i].IdleTime), ticks(entries[i].KernelTime), ticks(entries[i].UserTime));
    }
    return count > 0;
}

// `entries` is the caller's kept buffer.
bool readProcessorTimes(std::vector<Performance>& entries, CpuTimeSample& sample) {
    const WORD groups = GetActiveProcessorGroupCount();
    sample.clear();
    for (WORD group = 0; group < groups; ++group) {
        if (!readGroup(group, groups, entries, sample)) {
            return false;
        }
    }
    return !sample.empty();
}

} // namespace

void addLiveTemperatureAccessors(libSysTopo::cpu::x86_physical_cpus& topology) {
    for (unsigned p = 0; p < topology.getCpuCount(); ++p) {
        libSysTopo::cpu::x86_physical_cpu& package = topology[p];
        package.get().setTemperatureAccessor(nullptr);
        for (unsigned c = 0; c < package.getCoreCount(); ++c) {
            package.getCore(c).get().setTemperatureAccessor(nullptr);
        }
    }
}

std::unique_ptr<libSysTopo::cpu::ICpuTimeMetrics> makeLiveTimeMetrics() {
    std::vector<Performance> entries;
    CpuTimeSample probe;
    if (!readProcessorTimes(entries, probe)) {
        return nullptr;
    }
    return std::make_unique<SampledCpuTimeMetrics>(
        [entries = std::move(entries)](CpuTimeSample& sample) mutable {
            return readProcessorTimes(entries, sample);
        });
}

} // namespace libCpuProbe::cpu
