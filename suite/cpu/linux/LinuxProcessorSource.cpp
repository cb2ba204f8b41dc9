// The live Linux machine: sysfs topology, CPUID on a processor of each package, cpufreq and
// /proc/cpuinfo clocks.

#include "platform/Hot.h"
#include "platform/KeptFile.h"
#include "platform/TextFile.h"
#include "suite/cpu/CpuFreq.h"
#include "suite/cpu/Cpuid.h"
#include "suite/cpu/ProcCpuInfo.h"
#include "suite/cpu/ProcessorSource.h"
#include "suite/cpu/SpeedMetrics.h"
#include "suite/cpu/SysfsTopology.h"

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <system_error>

namespace libSysTopo::cpu {
namespace {

constexpr const char* kCpuRoot = "/sys/devices/system/cpu";
constexpr const char* kCpuInfo = "/proc/cpuinfo";

std::vector<PackageLayout> fromSysfs(const std::vector<SysfsPackage>& packages) {
    std::vector<PackageLayout> layout;
    for (const SysfsPackage& package : packages) {
        PackageLayout entry;
        entry.id = package.id;
        entry.mask = AffinityMask(package.cpus);
        for (const SysfsCore& core : package.cores) {
            entry.cores.push_back(CoreLayout{core.number, AffinityMask(core.cpus)});
        }
        layout.push_back(std::move(entry));
    }
    return layout;
}

// Without sysfs: the processors /proc/cpuinfo lists, each a core of one package.
std::vector<PackageLayout> fromCpuInfo() {
    const auto text = platform::readTextFile(kCpuInfo);
    if (!text) {
        return {};
    }
    PackageLayout package;
    std::vector<unsigned> all;
    for (const CpuInfoEntry& entry : parseProcCpuInfo(*text)) {
        all.push_back(entry.processor);
        package.cores.push_back(CoreLayout{entry.processor, AffinityMask({entry.processor})});
    }
    if (all.empty()) {
        return {};
    }
    package.mask = AffinityMask(std::move(all));
    return {std::move(package)};
}

// Sets of processors of any size, as sched_setaffinity takes them.
class CpuSet {
public:
    explicit CpuSet(unsigned processors)
        : count_(std::max(processors, 1024u)), set_(CPU_ALLOC(count_)) {
        if (set_ != nullptr) {
            CPU_ZERO_S(size(), set_);
        }
    }
    ~CpuSet() {
        if (set_ != nullptr) {
            CPU_FREE(set_);
        }
    }
    CpuSet(const CpuSet&) = delete;
    CpuSet& operator=(const CpuSet&) = delete;

    bool valid() const { return set_ != nullptr; }
    std::size_t size() const { return CPU_ALLOC_SIZE(count_); }
    cpu_set_t* get() { return set_; }
    void add(unsigned processor) { CPU_SET_S(processor, size(), set_); }

private:
    unsigned count_;
    cpu_set_t* set_;
};

// Runs `read` on `processor`, then puts the thread back where it was allowed to run. Where the
// thread may not move (a restricted container), reads on the current processor instead.
CpuidIdentity readOnProcessor(unsigned processor) {
    const auto read = [] {
        return readCpuidIdentity(
            [](std::uint32_t leaf, std::uint32_t subleaf) { return queryCpuid(leaf, subleaf); });
    };
    CpuSet saved(processor + 1);
    CpuSet target(processor + 1);
    if (!saved.valid() || !target.valid() || sched_getaffinity(0, saved.size(), saved.get()) != 0) {
        return read();
    }
    target.add(processor);
    const bool moved = sched_setaffinity(0, target.size(), target.get()) == 0;
    CpuidIdentity identity = read();
    if (moved) {
        sched_setaffinity(0, saved.size(), saved.get());
    }
    return identity;
}

class LinuxProcessorSource : public ProcessorSource {
public:
    std::vector<PackageLayout> readLayout() override {
        std::vector<PackageLayout> layout = fromSysfs(readSysfsTopology(kCpuRoot));
        return layout.empty() ? fromCpuInfo() : layout;
    }

    ProcessorIdentity identify(unsigned index, const PackageLayout& package) override {
        ProcessorIdentity identity;
        if (package.mask.isEmpty()) {
            return identity;
        }
        const unsigned first = package.mask.getProcessors().front();
        const CpuidIdentity cpuid = readOnProcessor(first);
        identity.name = qel::String(cpuid.brand.c_str());
        if (identity.name.empty()) {
            identity.name = qel::String(modelName(first).c_str());
        }
        identity.signature = cpuid.signature.value_or(x86_cpu_signature{});
        frequencies_[index] = cpuid.frequencies;
        return identity;
    }

    // Linux reports no revision name.
    bool readRevision(const x86_cpu_location&, qel::String&) override { return false; }

    SM_HOT bool readSpeed(const x86_cpu_location& location, const AffinityMask& mask,
                          x86_speed_metrics& metrics) override {
        ClockReadings clocks = cpufreqClocks(mask);
        if (clocks.currentHz == 0) {
            clocks.currentHz = cpuInfoClock(location.getPackage(), mask);
            clocks.source = "cpuinfo";
        }
        const auto found = frequencies_.find(location.getPackage());
        const std::optional<CpuidFrequencies> frequencies =
            found == frequencies_.end() ? std::nullopt : found->second;
        return composeSpeedMetrics(clocks, frequencies, metrics);
    }

private:
    static std::string modelName(unsigned processor) {
        const auto text = platform::readTextFile(kCpuInfo);
        if (!text) {
            return {};
        }
        for (const CpuInfoEntry& entry : parseProcCpuInfo(*text)) {
            if (entry.processor == processor) {
                return entry.modelName;
            }
        }
        return {};
    }

    // Without a cpufreq driver (no policy directory) the kernel shows no clock of its own.
    static bool hasCpufreqPolicy() {
        std::error_code error;
        for (std::filesystem::directory_iterator it(std::string(kCpuRoot) + "/cpufreq", error), end;
             !error && it != end; it.increment(error)) {
            if (it->path().filename().string().starts_with("policy")) {
                return true;
            }
        }
        return false;
    }

    // The fastest current clock of the processors, the lowest minimum and the highest maximum.
    ClockReadings cpufreqClocks(const AffinityMask& mask) {
        ClockReadings clocks;
        clocks.source = "cpufreq";
        for (const unsigned processor : mask.getProcessors()) {
            const CpuFrequency frequency = cpufreq_.read(processor);
            clocks.currentHz = std::max(clocks.currentHz, frequency.currentHz.value_or(0));
            clocks.maxHz = std::max(clocks.maxHz, frequency.maxHz.value_or(0));
            if (frequency.minHz && (clocks.minHz == 0 || *frequency.minHz < clocks.minHz)) {
                clocks.minHz = *frequency.minHz;
            }
        }
        return clocks;
    }

    // The fastest "cpu MHz" of the processors in /proc/cpuinfo; 0 when none is listed. The file
    // is read again only when a package already served by this reading asks again: once per
    // snapshot, however many packages; and only once in all where its clock is fixed.
    std::uint64_t cpuInfoClock(unsigned package, const AffinityMask& mask) {
        if (package >= served_.size()) {
            served_.resize(package + 1, false);
        }
        if (!cpuInfoFixed_ && (served_[package] || !cpuInfoRead_)) {
            std::fill(served_.begin(), served_.end(), false);
            if (const auto text = cpuInfoFile_.read()) {
                parseProcCpuInfo(*text, cpuInfo_);
                if (!cpuInfoRead_) {
                    cpuInfoFixed_ = cpuInfoClockIsFixed(*text) && !hasCpufreqPolicy();
                }
            } else {
                cpuInfo_.clear();
            }
            cpuInfoRead_ = true;
        }
        served_[package] = true;
        double fastest = 0.0;
        for (const CpuInfoEntry& entry : cpuInfo_) {
            if (entry.mhz && mask.contains(entry.processor)) {
                fastest = std::max(fastest, *entry.mhz);
            }
        }
        // A clock beyond 2^64 Hz is no clock; the bound keeps the conversion defined.
        return fastest > 0.0 && fastest < 1.0e12
                   ? static_cast<std::uint64_t>(std::llround(fastest * 1.0e6))
                   : 0;
    }

    CpuFreqFiles cpufreq_{kCpuRoot};
    platform::KeptFile cpuInfoFile_{kCpuInfo};
    std::vector<CpuInfoEntry> cpuInfo_;
    bool cpuInfoRead_ = false;
    bool cpuInfoFixed_ = false;
    std::vector<bool> served_;
    std::map<unsigned, std::optional<CpuidFrequencies>> frequencies_;
};

} // namespace

std::unique_ptr<ProcessorSource> makeLiveProcessorSource() {
    return std::make_unique<LinuxProcessorSource>();
}

} // namespace libSysTopo::cpu
