#include "suite/smart/SmartProtocol.h"

#include <numeric>

namespace qelrlibsmart {

namespace {

constexpr std::size_t kSectorSize = 512;
constexpr std::size_t kTableOffset = 2;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kEntryCount = 30;

const SmartAttribute* plausibleTemperature(std::span<const SmartAttribute> attributes,
                                           std::uint8_t id) {
    for (const auto& attribute : attributes) {
        if (attribute.id == id && attribute.raw[0] <= kMaxPlausibleCelsius) {
            return &attribute;
        }
    }
    return nullptr;
}

} // namespace

std::vector<SmartAttribute> decodeSmartAttributes(std::span<const std::uint8_t> sector) {
    std::vector<SmartAttribute> attributes;
    for (std::size_t i = 0; i < kEntryCount; ++i) {
        const std::size_t offset = kTableOffset + i * kEntrySize;
        if (offset + kEntrySize > sector.size()) {
            break;
        }
        const auto entry = sector.subspan(offset, kEntrySize);
        if (entry[0] == 0) {
            continue;
        }
        SmartAttribute attribute;
        attribute.id = entry[0];
        attribute.flags = static_cast<std::uint16_t>(entry[1] | (entry[2] << 8));
        attribute.current = entry[3];
        attribute.worst = entry[4];
        for (std::size_t b = 0; b < attribute.raw.size(); ++b) {
            attribute.raw[b] = entry[5 + b];
        }
        attributes.push_back(attribute);
    }
    return attributes;
}

bool smartChecksumValid(std::span<const std::uint8_t> sector) {
    if (sector.size() < kSectorSize) {
        return false;
    }
    const auto first = sector.first(kSectorSize);
    return (std::accumulate(first.begin(), first.end(), 0u) & 0xFF) == 0;
}

std::optional<SmartTemperatureReading>
smartTemperatureReading(std::span<const SmartAttribute> attributes) {
    const SmartAttribute* attribute = plausibleTemperature(attributes, kAttributeTemperature);
    if (attribute == nullptr) {
        attribute = plausibleTemperature(attributes, kAttributeAirflowTemperature);
    }
    if (attribute == nullptr) {
        return std::nullopt;
    }
    SmartTemperatureReading reading;
    reading.current = attribute->raw[0];
    const int minimum = attribute->raw[2];
    const int maximum = attribute->raw[4];
    if (attribute->raw[1] == 0 && attribute->raw[3] == 0 && attribute->raw[5] == 0 &&
        minimum <= reading.current && reading.current <= maximum &&
        maximum <= kMaxPlausibleCelsius) {
        reading.minimum = minimum;
        reading.maximum = maximum;
    }
    return reading;
}

std::optional<int> smartTemperatureCelsius(std::span<const SmartAttribute> attributes) {
    const auto reading = smartTemperatureReading(attributes);
    if (!reading) {
        return std::nullopt;
    }
    return reading->current;
}

std::optional<int> smartTemperatureCelsius(std::span<const std::uint8_t> sector) {
    const auto attributes = decodeSmartAttributes(sector);
    return smartTemperatureCelsius(std::span<const SmartAttribute>(attributes));
}

} // namespace qelrlibsmart
