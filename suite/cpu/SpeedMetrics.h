#pragma once
// The speed record from the clocks a machine reports.

#include "suite/cpu/Cpuid.h"
#include "suite/cpu/x86_cpu.h"

#include <cstdint>
#include <optional>

namespace libSysTopo::cpu {

// Clocks of a package or core; 0 where unknown.
struct ClockReadings {
    std::uint64_t currentHz = 0;
    std::uint64_t minHz = 0;
    std::uint64_t maxHz = 0;
    const char* source = "";
};

// Ratios shown with one decimal: enough for the half and quarter steps of some processors.
inline constexpr std::uint32_t kRatioPrecision = 1;
inline constexpr std::int32_t kVoltagePrecision = 3;

// Fills `metrics` (unknown fields 0) from the clocks and CPUID leaf 0x16: the bus clock from the
// leaf, the multiplier as clock over bus clock, its range from the lowest and highest clocks (the
// highest from the leaf when the clocks lack it). No voltage: nothing readable reports it. False,
// and `metrics` untouched, when neither a current clock nor a bus clock is known.
bool composeSpeedMetrics(const ClockReadings& clocks,
                         const std::optional<CpuidFrequencies>& frequencies,
                         x86_speed_metrics& metrics);

} // namespace libSysTopo::cpu
