#include "suite/cpu/CpuTemperatureAccessors.h"

#include "suite/cpu/SimulatedProbes.h"
#include "suite/cpu/SimulatedProcessorSource.h"

namespace libCpuProbe::cpu {
namespace {

using platform::TemperatureFact;

std::unique_ptr<libSysTopo::cpu::ICpuTemperatureAccessor>
simulatedAccessor(const platform::ProcessorFacts& facts, unsigned package,
                  std::optional<unsigned> core) {
    const TemperatureFact* fact = simulatedTemperature(facts, package, core);
    if (fact == nullptr || fact->kind == TemperatureFact::Kind::NoReader) {
        return nullptr;
    }
    return std::make_unique<SimulatedTemperatureAccessor>(package, core);
}

} // namespace

void CpuTemperatureAccessors::addAccessors(libSysTopo::cpu::x86_physical_cpus& topology) {
    const platform::ProcessorFacts* facts = libSysTopo::cpu::currentProcessorFacts();
    if (facts == nullptr) {
        addLiveTemperatureAccessors(topology);
        return;
    }
    for (unsigned p = 0; p < topology.getCpuCount(); ++p) {
        libSysTopo::cpu::x86_physical_cpu& package = topology[p];
        package.get().setTemperatureAccessor(simulatedAccessor(*facts, p, std::nullopt));
        for (unsigned c = 0; c < package.getCoreCount(); ++c) {
            package.getCore(c).get().setTemperatureAccessor(simulatedAccessor(*facts, p, c));
        }
    }
}

} // namespace libCpuProbe::cpu
