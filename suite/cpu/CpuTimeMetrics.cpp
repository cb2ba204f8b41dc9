#include "suite/cpu/CpuTimeMetrics.h"

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

void SampledCpuTimeMetrics::refresh() {
    ++samples_;
    std::optional<CpuTimeSample> sample = sampler_();
    fresh_ = sample.has_value();
    if (sample) {
        if (latest_) {
            base_ = std::move(latest_);
        }
        latest_ = std::move(sample);
    }
}

bool SampledCpuTimeMetrics::getPercentUsage(const libSysTopo::cpu::AffinityMask& mask,
                                            unsigned& percent) {
    if (!fresh_ || !latest_) {
        return false;
    }
    const auto& processors = mask.getProcessors();
    const std::optional<unsigned> share = base_ ? busyPercent(*base_, *latest_, processors)
                                                : busyPercentSinceBoot(*latest_, processors);
    if (!share) {
        return false;
    }
    percent = *share;
    return true;
}

} // namespace libCpuProbe::cpu
