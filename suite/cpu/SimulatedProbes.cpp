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

std::size_t
SimulatedCpuTimeMetrics::MaskHash::operator()(const std::vector<unsigned>& processors) const {
    std::size_t hash = processors.size();
    for (const unsigned processor : processors) {
        hash = hash * 1099511628211u ^ processor; // FNV-style mixing
    }
    return hash;
}

SimulatedCpuTimeMetrics::SimulatedCpuTimeMetrics(
    const std::vector<libSysTopo::cpu::PackageLayout>& layout) {
    // Masks are unique (one processor per core, one more for the package); should two be equal,
    // the later node answers, as a scan in layout order would have it.
    std::size_t count = 0;
    for (const auto& package : layout) {
        count += 1 + package.cores.size();
    }
    nodes_.reserve(count);
    for (std::size_t p = 0; p < layout.size(); ++p) {
        nodes_[layout[p].mask.getProcessors()] = Node{p, std::nullopt};
        for (std::size_t c = 0; c < layout[p].cores.size(); ++c) {
            nodes_[layout[p].cores[c].mask.getProcessors()] = Node{p, c};
        }
    }
}

bool SimulatedCpuTimeMetrics::getPercentUsage(const libSysTopo::cpu::AffinityMask& mask,
                                              unsigned& percent) {
    const platform::ProcessorFacts* facts = libSysTopo::cpu::currentProcessorFacts();
    if (samples_ == 0 || facts == nullptr) {
        return false;
    }
    const auto it = nodes_.find(mask.getProcessors());
    if (it == nodes_.end() || it->second.package >= facts->packages.size()) {
        return false;
    }
    const platform::PackageFacts& package = facts->packages[it->second.package];
    std::optional<unsigned> usage = package.usage;
    if (it->second.core) {
        usage = *it->second.core < package.cores.size() ? package.cores[*it->second.core].usage
                                                        : std::nullopt;
    }
    if (!usage) {
        return false;
    }
    percent = *usage;
    return true;
}

} // namespace libCpuProbe::cpu
