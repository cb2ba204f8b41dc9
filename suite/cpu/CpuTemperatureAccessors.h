#pragma once
// Installs the temperature readers of the processor topology.

#include "suite/cpu/x86_physical_cpus.h"

namespace libCpuProbe::cpu {

class CpuTemperatureAccessors {
public:
    // Gives every package and core of `topology` a reader where the machine can tell its
    // temperature, and none where it cannot: the simulated machine's facts when the current
    // backend states them, else Linux hwmon (coretemp, k10temp). Windows has no source that
    // works without a driver, so it installs none.
    static void addAccessors(libSysTopo::cpu::x86_physical_cpus& topology);
};

// The live machine's readers (linux/ or windows/).
void addLiveTemperatureAccessors(libSysTopo::cpu::x86_physical_cpus& topology);

} // namespace libCpuProbe::cpu
