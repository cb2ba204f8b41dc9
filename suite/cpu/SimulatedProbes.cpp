#include "suite/cpu/SimulatedProbes.h"

#include "suite/cpu/SimulatedProcessorSource.h"

namespace libCpuProbe::cpu {

const platform::TemperatureFact* simulatedTemperature(const platform::ProcessorFacts& facts,
                                                      unsigned package,
                                                      std::optional<unsigned> core) {
    if (package >= facts.packages.size()) {
        return nullptr;
    }
    const platform::PackageFacts& packageFacts = facts.packages[package];
    if (!core) {
        return &packageFacts.temperature;
    }
    return *core < packageFacts.cores.size() ? &packageFacts.cores[*core].temperature : nullptr;
}

bool SimulatedTemperatureAccessor::readTemperature(
    libSysTopo::cpu::CpuTemperature& temperature) const {
    const platform::ProcessorFacts* facts = libSysTopo::cpu::currentProcessorFacts();
    if (facts == nullptr) {
        return false;
    }
    const platform::TemperatureFact* fact = simulatedTemperature(*facts, package_, core_);
    if (fact == nullptr || fact->kind != platform::TemperatureFact::Kind::Reading ||
        fact->celsius < 0) {
        return false;
    }
    temperature.setCelsius(fact->celsius);
    return true;
}

bool SimulatedCpuTimeMetrics::getPercentUsage(const libSysTopo::cpu::AffinityMask& mask,
                                              unsigned& percent) {
    const platform::ProcessorFacts* facts = libSysTopo::cpu::currentProcessorFacts();
    if (samples_ == 0 || facts == nullptr) {
        return false;
    }
    for (std::size_t p = 0; p < layout_.size() && p < facts->packages.size(); ++p) {
        const platform::PackageFacts& package = facts->packages[p];
        std::optional<unsigned> usage;
        if (layout_[p].mask == mask) {
            usage = package.usage;
        }
        for (std::size_t c = 0; c < layout_[p].cores.size() && c < package.cores.size(); ++c) {
            if (layout_[p].cores[c].mask == mask) {
                usage = package.cores[c].usage;
            }
        }
        if (usage) {
            percent = *usage;
            return true;
        }
    }
    return false;
}

} // namespace libCpuProbe::cpu
