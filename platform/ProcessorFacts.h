#pragma once
// A processor described outright, as a simulated machine states it: the processor libraries read
// these facts instead of the live machine when the backend offers them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct TemperatureFact {
    enum class Kind { NoReader, Fails, Reading };
    Kind kind = Kind::NoReader;
    int celsius = 0;
};

struct SignatureFacts {
    std::uint32_t signature = 0;
    std::uint8_t family = 0;
    std::uint8_t model = 0;
    std::uint8_t stepping = 0;
    std::uint8_t extFamily = 0;
    std::uint8_t extModel = 0;
};

struct SpeedFacts {
    std::uint32_t ratioPrecision = 0;
    double currentRatio = 0.0;
    double ratioLow = 0.0;
    double ratioHigh = 0.0;
    std::uint64_t currentSpeedHz = 0;
    std::uint64_t busSpeedHz = 0;
    std::uint64_t fsbSpeedHz = 0;
    double coreVoltage = 0.0;
    std::int32_t voltagePrecision = 0;
};

struct CoreFacts {
    unsigned number = 0;
    TemperatureFact temperature;
    std::optional<unsigned> usage;
};

struct PackageFacts {
    std::u16string name;
    SignatureFacts signature;
    std::optional<std::u16string> revision;
    std::optional<SpeedFacts> speed;
    TemperatureFact temperature;
    std::optional<unsigned> usage;
    std::vector<CoreFacts> cores;
};

struct ProcessorFacts {
    bool usageMeter = true;
    std::vector<PackageFacts> packages;
};

} // namespace platform
