#pragma once
// The SMART data sector (the answer to SMART READ DATA) as bytes: its attribute table and the
// drive temperature it carries. Nothing here touches a handle.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qelrlibsmart {

inline constexpr std::uint8_t kAttributeTemperature = 194;
inline constexpr std::uint8_t kAttributeAirflowTemperature = 190;
// Above this a raw temperature byte is not a reading (a packed or vendor-specific value).
inline constexpr int kMaxPlausibleCelsius = 127;

// One entry of the attribute table.
struct SmartAttribute {
    std::uint8_t id = 0;
    std::uint16_t flags = 0;
    std::uint8_t current = 0;
    std::uint8_t worst = 0;
    std::array<std::uint8_t, 6> raw{};
};

// The attribute table: up to 30 entries of 12 bytes from offset 2 (after the version word).
// Empty slots (id 0) are skipped; an entry cut off by the end of `sector` is not read.
std::vector<SmartAttribute> decodeSmartAttributes(std::span<const std::uint8_t> sector);

// Whether the 512 bytes of `sector` sum to 0 modulo 256; false for a shorter sector. Many drives
// ship a wrong checksum, so this is advisory.
bool smartChecksumValid(std::span<const std::uint8_t> sector);

// The current temperature in degrees Celsius: raw byte 0 of attribute 194, else of attribute
// 190 (the other raw bytes often pack the minimum and maximum). A value above 127 is no reading
// and the next attribute is tried; nullopt when neither gives one.
std::optional<int> smartTemperatureCelsius(std::span<const SmartAttribute> attributes);

// The same, straight from the sector.
std::optional<int> smartTemperatureCelsius(std::span<const std::uint8_t> sector);

struct SmartTemperatureReading {
    int current = 0;
    // The lifetime extremes, when the attribute packs them into raw bytes 2 and 4 in the common
    // layout (minimum <= current <= maximum, all plausible); nullopt otherwise.
    std::optional<int> minimum;
    std::optional<int> maximum;
};

// The reading that smartTemperatureCelsius takes its value from, with the extremes beside it.
std::optional<SmartTemperatureReading>
smartTemperatureReading(std::span<const SmartAttribute> attributes);

} // namespace qelrlibsmart
