// The live Linux machine's temperature readers (hwmon) and usage meter (/proc/stat).

#include "suite/cpu/CpuTemperatureAccessors.h"
#include "suite/cpu/CpuTimeMetrics.h"
#include "suite/cpu/HwmonTemperatureAccessor.h"
#include "suite/cpu/ProcStat.h"
#include "suite/cpu/TextFile.h"

#include <string>

namespace libCpuProbe::cpu {
namespace {

constexpr const char* kHwmonRoot = "/sys/class/hwmon";
constexpr const char* kProcStat = "/proc/stat";

// `text` is the caller's kept buffer.
std::optional<CpuTimeSample> readProcStat(std::string& text) {
    if (!libSysTopo::cpu::readTextFile(kProcStat, text)) {
        return std::nullopt;
    }
    CpuTimeSample sample = parseProcStat(text);
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
    std::string text;
    if (!readProcStat(text)) {
        return nullptr;
    }
    return std::make_unique<SampledCpuTimeMetrics>(
        [text = std::move(text)]() mutable { return readProcStat(text); });
}

} // namespace libCpuProbe::cpu
