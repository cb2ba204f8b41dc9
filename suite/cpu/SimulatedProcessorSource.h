#pragma once
// The processor facts of a simulated machine as a processor source. The facts are asked of the
// current backend on every call, so a machine's steps can change them; a package or core the
// current facts no longer have reads as unknown.

#include "platform/ProcessorFacts.h"
#include "suite/cpu/ProcessorSource.h"

namespace libSysTopo::cpu {

// The facts' packages and cores with masks of made-up processors: each core has one processor of
// its own and each package one more beyond its cores', so that no two nodes share a mask (a usage
// meter tells them apart by mask alone).
std::vector<PackageLayout> simulatedLayout(const platform::ProcessorFacts& facts);

// The facts of the current backend; null when it states none.
const platform::ProcessorFacts* currentProcessorFacts();

class SimulatedProcessorSource : public ProcessorSource {
public:
    std::vector<PackageLayout> readLayout() override;
    ProcessorIdentity identify(unsigned index, const PackageLayout& package) override;
    // The facts' revision of a package (true even for an empty one); false for a core.
    bool readRevision(const x86_cpu_location& location, qel::String& revision) override;
    // The facts' speed record of a package; false for a core.
    bool readSpeed(const x86_cpu_location& location, const AffinityMask& mask,
                   x86_speed_metrics& metrics) override;
};

} // namespace libSysTopo::cpu
