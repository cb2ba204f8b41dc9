// The live Linux machine's temperature readers (hwmon) and usage meter (/proc/stat).

#include "platform/Hot.h"
#include "platform/KeptFile.h"
#include "suite/cpu/CpuTemperatureAccessors.h"
#include "suite/cpu/CpuTimeMetrics.h"
#include "suite/cpu/HwmonTemperatureAccessor.h"
#include "suite/cpu/ProcStat.h"

#include <memory>

namespace libCpuProbe::cpu {
namespace {

constexpr const char* kHwmonRoot = "/sys/class/hwmon";
constexpr const char* kProcStat = "/proc/stat";

SM_HOT bool readProcStat(platform::KeptFile& file, CpuTimeSample& sample) {
    const auto text = file.read();
    if (!text) {
        return false;
    }
    parseProcStat(*text, sample);
    return !sample.empty();
}

} // namespace

void addLiveTemperatureAccessors(libSysTopo::cpu::x86_physical_cpus& topology) {
    installHwmonAccessors(topology, findCpuTemperatureSensors(kHwmonRoot));
}

std::unique_ptr<libSysTopo::cpu::ICpuTimeMetrics> makeLiveTimeMetrics() {
    // The meter's own descriptor: its owner takes one snapshot at a time.
    auto file = std::make_shared<platform::KeptFile>(kProcStat);
    CpuTimeSample probe;
    if (!readProcStat(*file, probe)) {
        return nullptr;
    }
    return std::make_unique<SampledCpuTimeMetrics>(
        [file](CpuTimeSample& sample) { return readProcStat(*file, sample); });
}

} // namespace libCpuProbe::cpu
