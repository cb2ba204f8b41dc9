#include "suite/cpu/x86_cpu.h"

#include "platform/Hot.h"
#include "suite/cpu/ProcessorSource.h"

namespace libSysTopo::cpu {

x86_cpu::x86_cpu(ProcessorSource& source, x86_cpu_location location, AffinityMask mask,
                 qel::String name, x86_cpu_signature signature)
    : source_(&source), location_(location), mask_(std::move(mask)), name_(std::move(name)),
      signature_(signature) {}

SM_HOT bool x86_cpu::getRevisionString(qel::String& revision) const {
    qel::String found;
    if (!source_->readRevision(location_, found)) {
        return false;
    }
    revision = std::move(found);
    return true;
}

SM_HOT bool x86_cpu::getSpeedMetrics(x86_speed_metrics& metrics) const {
    x86_speed_metrics found;
    if (!source_->readSpeed(location_, mask_, found)) {
        return false;
    }
    metrics = found;
    return true;
}

void x86_cpu::setTemperatureAccessor(std::unique_ptr<ICpuTemperatureAccessor> accessor) {
    temperature_ = std::move(accessor);
}

} // namespace libSysTopo::cpu
