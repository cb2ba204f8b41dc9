// The live Linux machine's temperature readers (hwmon) and usage meter (/proc/stat).

#include "suite/cpu/CpuTemperatureAccessors.h"
#include "suite/cpu/CpuTimeMetrics.h"
#include "suite/cpu/HwmonTemperatureAccessor.h"
#include "suite/cpu/ProcStat.h"
#include "suite/cpu/TextFile.h"

namespace libCpuProbe::cpu {
namespace {

constexpr const char* kHwmonRoot = "/sys/class/hwmon";
constexpr const char* kProcStat = "/proc/stat";

std::optional<CpuTimeSample> readProcStat() {
    const auto text = libSysTopo::cpu::readTextFile(kProcStat);
    if (!text) {
        return std::nullopt;
    }
    CpuTimeSample sample = parseProcStat(*text);
    if (sample.empty()) {
        return std::nullopt;
    }
    return sample;
}

} // namespace

void addLiveTemperatureAccessors(libSysTopo::cpu::x86_physical_cpus& topology) {
    installHwmonAccessors(topology, findCpuTemperatureSensors(kHwmonRoot));
}

std::unique_ptr<libSysTopo::cpu::ICpuTimeMetrics> makeLiveTimeMetrics() {
    if (!readProcStat()) {
        return nullptr;
    }
    return std::make_unique<SampledCpuTimeMetrics>(readProcStat);
}

} // namespace libCpuProbe::cpu
