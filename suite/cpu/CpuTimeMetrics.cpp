#include "suite/cpu/CpuTimeMetrics.h"

#include "platform/Hot.h"
#include "suite/cpu/SimulatedProbes.h"
#include "suite/cpu/SimulatedProcessorSource.h"

namespace libCpuProbe::cpu {

CpuTimeMetrics::Accessor CpuTimeMetrics::getAccessor() {
    const platform::ProcessorFacts* facts = libSysTopo::cpu::currentProcessorFacts();
    if (facts == nullptr) {
        return Accessor(makeLiveTimeMetrics().release());
    }
    if (!facts->usageMeter) {
        return Accessor();
    }
    return Accessor(new SimulatedCpuTimeMetrics(libSysTopo::cpu::simulatedLayout(*facts)));
}

SampledCpuTimeMetrics::SampledCpuTimeMetrics(Sampler sampler) : sampler_(std::move(sampler)) {}

SM_HOT void SampledCpuTimeMetrics::refresh() {
    ++samples_;
    fresh_ = sampler_(next_);
    if (fresh_) {
        if (haveLatest_) {
            std::swap(base_, latest_);
            haveBase_ = true;
        }
        std::swap(latest_, next_);
        haveLatest_ = true;
    }
}

SM_HOT bool SampledCpuTimeMetrics::getPercentUsage(const libSysTopo::cpu::AffinityMask& mask,
                                                   unsigned& percent) {
    if (!fresh_ || !haveLatest_) {
        return false;
    }
    const auto& processors = mask.getProcessors();
    const std::optional<unsigned> share = haveBase_ ? busyPercent(base_, latest_, processors)
                                                    : busyPercentSinceBoot(latest_, processors);
    if (!share) {
        return false;
    }
    percent = *share;
    return true;
}

} // namespace libCpuProbe::cpu
