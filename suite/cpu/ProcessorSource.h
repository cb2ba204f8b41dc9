#pragma once
// Where the processor libraries read the machine: the live machine of this operating system, or
// the processor facts a simulated machine states.

#include "foundation/String.h"
#include "suite/cpu/ProcessorLayout.h"
#include "suite/cpu/x86_cpu.h"

#include <memory>
#include <vector>

namespace libSysTopo::cpu {

struct ProcessorIdentity {
    qel::String name;
    x86_cpu_signature signature;
};

class ProcessorSource {
public:
    virtual ~ProcessorSource() = default;

    // The packages and their cores, in topology order; empty when none can be found.
    virtual std::vector<PackageLayout> readLayout() = 0;
    // The name and signature of package `index` of the layout, read on one of its processors;
    // empty name and zero signature where the processor reports none.
    virtual ProcessorIdentity identify(unsigned index, const PackageLayout& package) = 0;
    // As x86_cpu::getRevisionString and getSpeedMetrics, for the package or core at `location`
    // whose processors are `mask`.
    virtual bool readRevision(const x86_cpu_location& location, qel::String& revision) = 0;
    virtual bool readSpeed(const x86_cpu_location& location, const AffinityMask& mask,
                           x86_speed_metrics& metrics) = 0;
};

// The simulated machine's facts when the current backend states them, else the live machine.
std::unique_ptr<ProcessorSource> makeProcessorSource();

// The live machine of this operating system (linux/ or windows/).
std::unique_ptr<ProcessorSource> makeLiveProcessorSource();

} // namespace libSysTopo::cpu
