// The live Windows machine: GetLogicalProcessorInformationEx (aware of processor groups), CPUID
// on a processor of each package, and the clocks of CallNtPowerInformation.

#include "platform/Win32.h"
#include "platform/windows/NtEntries.h"
#include "suite/cpu/Cpuid.h"
#include "suite/cpu/LogicalProcessorRecords.h"
#include "suite/cpu/ProcessorSource.h"
#include "suite/cpu/SpeedMetrics.h"

#include <algorithm>
#include <map>

namespace libSysTopo::cpu {
namespace {

// PROCESSOR_POWER_INFORMATION, which the SDK documents but does not declare.
struct ProcessorPowerInformation {
    ULONG Number;
    ULONG MaxMhz;
    ULONG CurrentMhz;
    ULONG MhzLimit;
    ULONG MaxIdleState;
    ULONG CurrentIdleState;
};
static_assert(sizeof(ProcessorPowerInformation) == 24);

constexpr std::uint64_t kHzPerMHz = 1000000;

std::vector<std::uint8_t> readRecords() {
    DWORD length = 0;
    if (GetLogicalProcessorInformationEx(RelationAll, nullptr, &length) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) {
        return {};
    }
    // Processors coming online between the calls can grow the answer: ask again then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<std::uint8_t> buffer(length);
        if (GetLogicalProcessorInformationEx(
                RelationAll,
                reinterpret_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(buffer.data()),
                &length)) {
            buffer.resize(std::min<std::size_t>(length, buffer.size()));
            return buffer;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            break;
        }
    }
    return {};
}

// Runs CPUID on `processor`, then puts the thread back in its group and mask. Where the thread
// may not move, reads on the current processor instead.
CpuidIdentity readOnProcessor(unsigned processor) {
    const auto read = [] {
        return readCpuidIdentity(
            [](std::uint32_t leaf, std::uint32_t subleaf) { return queryCpuid(leaf, subleaf); });
    };
    GROUP_AFFINITY target{};
    target.Mask = KAFFINITY{1} << (processor % AffinityMask::kGroupSize);
    target.Group = static_cast<WORD>(processor / AffinityMask::kGroupSize);
    GROUP_AFFINITY previous{};
    const HANDLE thread = GetCurrentThread();
    const bool moved = SetThreadGroupAffinity(thread, &target, &previous) != 0;
    CpuidIdentity identity = read();
    if (moved) {
        SetThreadGroupAffinity(thread, &previous, nullptr);
    }
    return identity;
}

// The power information of every active processor, by processor number across groups. The
// system lists processors group after group, so entry k belongs to the group whose range holds k.
std::map<unsigned, ProcessorPowerInformation> readPowerInformation() {
    const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    if (count == 0) {
        return {};
    }
    std::vector<ProcessorPowerInformation> entries(count);
    const auto bytes = static_cast<ULONG>(entries.size() * sizeof(ProcessorPowerInformation));
    if (platform::ntPowerInformation(ProcessorInformation, nullptr, 0, entries.data(), bytes) !=
        0) {
        return {};
    }
    std::map<unsigned, ProcessorPowerInformation> byProcessor;
    const WORD groups = GetActiveProcessorGroupCount();
    std::size_t next = 0;
    for (WORD group = 0; group < groups && next < entries.size(); ++group) {
        const DWORD inGroup = GetActiveProcessorCount(group);
        for (DWORD i = 0; i < inGroup && next < entries.size(); ++i, ++next) {
            byProcessor[group * AffinityMask::kGroupSize + i] = entries[next];
        }
    }
    return byProcessor;
}

class WindowsProcessorSource : public ProcessorSource {
public:
    std::vector<PackageLayout> readLayout() override {
        const std::vector<std::uint8_t> records = readRecords();
        return decodeLogicalProcessorRecords(records);
    }

    ProcessorIdentity identify(unsigned index, const PackageLayout& package) override {
        ProcessorIdentity identity;
        if (package.mask.isEmpty()) {
            return identity;
        }
        const CpuidIdentity cpuid = readOnProcessor(package.mask.getProcessors().front());
        identity.name = qel::String(cpuid.brand.c_str());
        identity.signature = cpuid.signature.value_or(x86_cpu_signature{});
        frequencies_[index] = cpuid.frequencies;
        return identity;
    }

    // Windows reports no revision name.
    bool readRevision(const x86_cpu_location&, qel::String&) override { return false; }

    bool readSpeed(const x86_cpu_location& location, const AffinityMask& mask,
                   x86_speed_metrics& metrics) override {
        ClockReadings clocks;
        clocks.source = "power";
        for (const auto& [processor, power] : readPowerInformation()) {
            if (mask.contains(processor)) {
                clocks.currentHz = std::max(clocks.currentHz, power.CurrentMhz * kHzPerMHz);
                clocks.maxHz = std::max(clocks.maxHz, power.MaxMhz * kHzPerMHz);
            }
        }
        const auto found = frequencies_.find(location.getPackage());
        const std::optional<CpuidFrequencies> frequencies =
            found == frequencies_.end() ? std::nullopt : found->second;
        return composeSpeedMetrics(clocks, frequencies, metrics);
    }

private:
    std::map<unsigned, std::optional<CpuidFrequencies>> frequencies_;
};

} // namespace

std::unique_ptr<ProcessorSource> makeLiveProcessorSource() {
    return std::make_unique<WindowsProcessorSource>();
}

} // namespace libSysTopo::cpu
