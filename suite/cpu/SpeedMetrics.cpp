#include "suite/cpu/SpeedMetrics.h"

#include "platform/Hot.h"

namespace libSysTopo::cpu {
namespace {

constexpr std::uint64_t kHzPerMHz = 1000000;

double ratio(std::uint64_t clockHz, std::uint64_t busHz) {
    return clockHz == 0 || busHz == 0 ? 0.0
                                      : static_cast<double>(clockHz) / static_cast<double>(busHz);
}

} // namespace

SM_HOT bool composeSpeedMetrics(const ClockReadings& clocks,
                                const std::optional<CpuidFrequencies>& frequencies,
                                x86_speed_metrics& metrics) {
    x86_speed_metrics record;
    record.ratioPrecision = kRatioPrecision;
    record.voltagePrecision = kVoltagePrecision;
    record.currentSpeedHz = clocks.currentHz;
    record.speedSource = clocks.currentHz > 0 ? clocks.source : "";
    record.maxSpeedHz = clocks.maxHz;
    if (frequencies) {
        record.busSpeedHz = std::uint64_t{frequencies->busMHz} * kHzPerMHz;
        record.baseSpeedHz = std::uint64_t{frequencies->baseMHz} * kHzPerMHz;
        if (record.maxSpeedHz == 0) {
            record.maxSpeedHz = std::uint64_t{frequencies->maxMHz} * kHzPerMHz;
        }
    }
    if (record.currentSpeedHz == 0 && record.busSpeedHz == 0) {
        return false;
    }
    record.currentRatio = ratio(record.currentSpeedHz, record.busSpeedHz);
    record.baseRatio = ratio(record.baseSpeedHz, record.busSpeedHz);
    record.ratioLow = ratio(clocks.minHz, record.busSpeedHz);
    record.ratioHigh = ratio(record.maxSpeedHz, record.busSpeedHz);
    metrics = record;
    return true;
}

} // namespace libSysTopo::cpu
