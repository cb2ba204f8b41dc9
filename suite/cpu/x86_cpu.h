#pragma once
// What is known about a processor (a package, or one core of it): its name, its signature, its
// revision name and its clocks, and the reader of its temperature once one is installed.

#include "foundation/String.h"
#include "suite/cpu/AffinityMask.h"
#include "suite/cpu/CpuTemperature.h"
#include "suite/cpu/x86_cpu_location.h"

#include <cstdint>
#include <memory>

namespace libSysTopo::cpu {

class ProcessorSource;

// CPUID leaf 1: EAX and its fields, each as the processor reports it.
struct x86_cpu_signature {
    std::uint32_t signature = 0; // CPUID leaf 1 EAX
    std::uint8_t family = 0;     // EAX[11:8]
    std::uint8_t model = 0;      // EAX[7:4]
    std::uint8_t extFamily = 0;  // EAX[27:20]
    std::uint8_t extModel = 0;   // EAX[19:16]
    std::uint8_t stepping = 0;   // EAX[3:0]
};

// Clocks, multiplier and voltage. Every field not reported is 0.
struct x86_speed_metrics {
    // Decimals with which ratios are worth showing.
    std::uint32_t ratioPrecision = 0;
    double currentRatio = 0.0;
    // Multiplier at the nominal clock.
    double baseRatio = 0.0;
    // The multiplier range: lowest and highest.
    double ratioLow = 0.0;
    double ratioHigh = 0.0;
    // The nominal and the highest core clock.
    std::uint64_t baseSpeedHz = 0;
    std::uint64_t maxSpeedHz = 0;
    std::uint64_t currentSpeedHz = 0;
    std::uint64_t busSpeedHz = 0;
    std::uint64_t fsbSpeedHz = 0;
    // The source of currentSpeedHz, for diagnostics: "cpufreq", "cpuinfo", "power", "simulated".
    const char* speedSource = "";
    // Core voltage in volts; 0.0 or less when not reported.
    double coreVoltage = 0.0;
    // Decimals with which the voltage is worth showing.
    std::int32_t voltagePrecision = 0;
};

class x86_cpu {
public:
    // Identity is fixed at construction; revision, clocks and temperature are asked of `source`
    // on every call. `source` must outlive the object.
    x86_cpu(ProcessorSource& source, x86_cpu_location location, AffinityMask mask, qel::String name,
            x86_cpu_signature signature);
    x86_cpu(const x86_cpu&) = delete;
    x86_cpu& operator=(const x86_cpu&) = delete;
    x86_cpu(x86_cpu&&) noexcept = default;
    x86_cpu& operator=(x86_cpu&&) noexcept = default;

    // The display name; empty when the processor does not report one.
    const qel::String& getCpuName() const { return name_; }
    const x86_cpu_signature& getSignature() const { return signature_; }
    // True when the machine reports a revision name (stored in `revision`, possibly empty);
    // false, and `revision` untouched, when it does not. Never made up from the signature.
    bool getRevisionString(qel::String& revision) const;
    // True when at least one clock is known (the record filled, unknown fields 0); false, and
    // `metrics` untouched, when nothing is known.
    bool getSpeedMetrics(x86_speed_metrics& metrics) const;

    // Null when no reader is installed (the temperature cannot be read).
    const ICpuTemperatureAccessor* getTemperatureAccessor() const { return temperature_.get(); }
    // Replaces the reader; null removes it.
    void setTemperatureAccessor(std::unique_ptr<ICpuTemperatureAccessor> accessor);

    const x86_cpu_location& getLocation() const { return location_; }
    const AffinityMask& getAffinityMask() const { return mask_; }

private:
    ProcessorSource* source_;
    x86_cpu_location location_;
    AffinityMask mask_;
    qel::String name_;
    x86_cpu_signature signature_;
    std::unique_ptr<ICpuTemperatureAccessor> temperature_;
};

} // namespace libSysTopo::cpu
