#pragma once
// Identification and speed properties of a processor package node.

#include "devicetree/PropertyAdders.h"
#include "foundation/NonDiscreteMeasurement.h"
#include "foundation/String.h"
#include "suite/cpu/x86_physical_cpus.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace systemmonitor {

// Keys and texts of properties that stay the same for the life of a topology.
using PropertyTexts = std::vector<std::pair<qel::String, qel::String>>;

// "CPUID", "Family", "Model", "Stepping", "ExtFamily", "ExtModel": fixed with the package's
// signature, so made once per package.
PropertyTexts identificationTexts(const libSysTopo::cpu::x86_physical_cpu& cpu);

// Those texts (always), then "Revision" where the machine reports a non-empty one.
void addIdentificationProperties(NodePointer& package, const PropertyTexts& texts,
                                 libSysTopo::cpu::x86_physical_cpu& cpu);

// "CurrentSpeed", "Multiplier", "CPUBusSpeed", "CPUFSBSpeed", "CpuCoreVID", each where its
// figure is known; none when the speed metrics cannot be read.
void addSpeedProperties(NodePointer& package, libSysTopo::cpu::x86_physical_cpu& cpu);

// Upper-case hexadecimal without leading zeros, followed by 'h' ("6h", "0h", "1Ah").
qel::String formatHexValue(std::uint8_t value);

// A frequency in hertz, measured with two decimals, shown at `magnitude` ("2400.00 MHz").
qel::String formatFrequency(std::uint64_t hertz, int precision, qel::UnitMagnitude magnitude);

// A ratio shown with the larger of the two precisions ("9.0" for 1, "9" for 0).
qel::String formatRatio(double ratio, unsigned precision, unsigned minimumPrecision);

} // namespace systemmonitor
