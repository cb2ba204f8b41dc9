#include "suite/cpu/SimulatedProcessorSource.h"

#include "platform/Backend.h"

namespace libSysTopo::cpu {
namespace {

const platform::PackageFacts* packageFacts(const x86_cpu_location& location) {
    const platform::ProcessorFacts* facts = currentProcessorFacts();
    if (facts == nullptr || location.isCore() || location.getPackage() >= facts->packages.size()) {
        return nullptr;
    }
    return &facts->packages[location.getPackage()];
}

} // namespace

std::vector<PackageLayout> simulatedLayout(const platform::ProcessorFacts& facts) {
    std::vector<PackageLayout> layout;
    unsigned next = 0;
    for (unsigned index = 0; index < facts.packages.size(); ++index) {
        PackageLayout package;
        package.id = index;
        std::vector<unsigned> processors;
        for (const platform::CoreFacts& core : facts.packages[index].cores) {
            processors.push_back(next);
            package.cores.push_back(CoreLayout{core.number, AffinityMask({next})});
            ++next;
        }
        processors.push_back(next++);
        package.mask = AffinityMask(std::move(processors));
        layout.push_back(std::move(package));
    }
    return layout;
}

const platform::ProcessorFacts* currentProcessorFacts() {
    return platform::currentBackend().processorFacts();
}

std::vector<PackageLayout> SimulatedProcessorSource::readLayout() {
    const platform::ProcessorFacts* facts = currentProcessorFacts();
    return facts == nullptr ? std::vector<PackageLayout>{} : simulatedLayout(*facts);
}

ProcessorIdentity SimulatedProcessorSource::identify(unsigned index, const PackageLayout&) {
    ProcessorIdentity identity;
    const platform::PackageFacts* package = packageFacts(x86_cpu_location(index));
    if (package == nullptr) {
        return identity;
    }
    identity.name = qel::String(package->name);
    identity.signature.signature = package->signature.signature;
    identity.signature.family = package->signature.family;
    identity.signature.model = package->signature.model;
    identity.signature.extFamily = package->signature.extFamily;
    identity.signature.extModel = package->signature.extModel;
    identity.signature.stepping = package->signature.stepping;
    return identity;
}

bool SimulatedProcessorSource::readRevision(const x86_cpu_location& location,
                                            qel::String& revision) {
    const platform::PackageFacts* package = packageFacts(location);
    if (package == nullptr || !package->revision) {
        return false;
    }
    revision = qel::String(*package->revision);
    return true;
}

bool SimulatedProcessorSource::readSpeed(const x86_cpu_location& location, const AffinityMask&,
                                         x86_speed_metrics& metrics) {
    const platform::PackageFacts* package = packageFacts(location);
    if (package == nullptr || !package->speed) {
        return false;
    }
    const platform::SpeedFacts& speed = *package->speed;
    metrics = x86_speed_metrics{};
    metrics.ratioPrecision = speed.ratioPrecision;
    metrics.currentRatio = speed.currentRatio;
    metrics.ratioLow = speed.ratioLow;
    metrics.ratioHigh = speed.ratioHigh;
    metrics.currentSpeedHz = speed.currentSpeedHz;
    metrics.busSpeedHz = speed.busSpeedHz;
    metrics.fsbSpeedHz = speed.fsbSpeedHz;
    metrics.speedSource = "simulated";
    metrics.coreVoltage = speed.coreVoltage;
    metrics.voltagePrecision = speed.voltagePrecision;
    return true;
}

} // namespace libSysTopo::cpu
