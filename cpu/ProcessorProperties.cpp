#include "cpu/ProcessorProperties.h"

#include "foundation/SprintfFormat.h"
#include "platform/Hot.h"

#include <algorithm>

namespace systemmonitor {

PropertyTexts identificationTexts(const libSysTopo::cpu::x86_physical_cpu& cpu) {
    const libSysTopo::cpu::x86_cpu_signature signature = cpu.get().getSignature();
    return {
        {"CPUID", qel::SprintfFormat("%Xh", signature.signature)},
        {"Family", formatHexValue(signature.family)},
        {"Model", formatHexValue(signature.model)},
        {"Stepping", formatHexValue(signature.stepping)},
        {"ExtFamily", formatHexValue(signature.extFamily)},
        {"ExtModel", formatHexValue(signature.extModel)},
    };
}

SM_HOT void addIdentificationProperties(NodePointer& package, const PropertyTexts& texts,
                                        libSysTopo::cpu::x86_physical_cpu& cpu) {
    for (const auto& [key, text] : texts) {
        addTextProperty(package, key, text);
    }
    static const qel::String kRevision("Revision");
    qel::String revision;
    if (std::as_const(cpu).get().getRevisionString(revision)) {
        addTextProperty(package, kRevision, revision);
    }
}

SM_HOT void addSpeedProperties(NodePointer& package, libSysTopo::cpu::x86_physical_cpu& cpu) {
    const libSysTopo::cpu::x86_cpu& processor = std::as_const(cpu).get();
    libSysTopo::cpu::x86_speed_metrics metrics;
    if (!processor.getSpeedMetrics(metrics)) {
        return;
    }
    if (metrics.currentSpeedHz > 0) {
        addTextProperty(package, "CurrentSpeed",
                        formatFrequency(metrics.currentSpeedHz, 2, qel::MEGA));
    }
    qel::String range;
    if (metrics.ratioLow != 0.0 && metrics.ratioHigh != 0.0 &&
        metrics.ratioLow != metrics.ratioHigh) {
        range = " (" + formatRatio(metrics.ratioLow, metrics.ratioPrecision, 0) + " - " +
                formatRatio(metrics.ratioHigh, metrics.ratioPrecision, 0) + ")";
    }
    if (metrics.currentRatio != 0.0) {
        addTextProperty(package, "Multiplier",
                        "x " + formatRatio(metrics.currentRatio, metrics.ratioPrecision, 1) +
                            range);
    }
    if (metrics.busSpeedHz > 0) {
        addTextProperty(package, "CPUBusSpeed", formatFrequency(metrics.busSpeedHz, 2, qel::MEGA));
    }
    if (metrics.fsbSpeedHz > 0) {
        addTextProperty(package, "CPUFSBSpeed", formatFrequency(metrics.fsbSpeedHz, 2, qel::MEGA));
    }
    if (metrics.coreVoltage > 0.0) {
        const qel::NonDiscreteMeasurement voltage(qel::VOLTS, metrics.coreVoltage, qel::BASEUNIT,
                                                  metrics.voltagePrecision);
        addTextProperty(package, "CpuCoreVID",
                        voltage.localizedString(metrics.voltagePrecision, qel::BASEUNIT));
    }
}

qel::String formatHexValue(std::uint8_t value) {
    return qel::SprintfFormat("%Xh", static_cast<unsigned>(value));
}

SM_HOT qel::String formatFrequency(std::uint64_t hertz, int precision,
                                   qel::UnitMagnitude magnitude) {
    const qel::NonDiscreteMeasurement frequency(qel::HERTZ, static_cast<double>(hertz),
                                                qel::BASEUNIT, 2);
    return frequency.localizedString(precision, magnitude);
}

qel::String formatRatio(double ratio, unsigned precision, unsigned minimumPrecision) {
    const unsigned shown = std::max(precision, minimumPrecision);
    const qel::NonDiscreteMeasurement measurement(qel::NOUNIT, ratio, qel::BASEUNIT,
                                                  static_cast<int>(shown));
    return measurement.toString(2, qel::AUTOSCALEUNIT);
}

} // namespace systemmonitor
