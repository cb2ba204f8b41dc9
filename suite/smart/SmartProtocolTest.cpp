#include "suite/smart/SmartProtocol.h"

#include "suite/ata/testing/RecordedBytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace qelrlibsmart {
namespace {

using qelrlibata::testing::recordedBytes;

TEST(SmartData, RecordedSectors) {
    struct Case {
        const char* file;
        std::size_t attributeCount;
        bool checksumValid;
        std::optional<int> celsius;
    };
    const Case cases[] = {
        // 194 wins over 190; only raw byte 0 counts, not the packed minimum and maximum.
        {"smart-sata-hdd-2tb.hex", 17, true, 40},
        {"smart-sata-ssd-airflow-only.hex", 14, true, 33},
        {"smart-usb-flash-no-temperature.hex", 6, true, std::nullopt},
        {"smart-sata-hdd-194-vendor-raw.hex", 3, true, 36},
        {"smart-implausible-temperature.hex", 2, false, std::nullopt},
        // Eight whole entries fit in 100 bytes; the cut ninth is not read.
        {"smart-truncated-100.hex", 8, false, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto sector = recordedBytes(c.file);
        EXPECT_EQ(decodeSmartAttributes(sector).size(), c.attributeCount) << c.file;
        EXPECT_EQ(smartChecksumValid(sector), c.checksumValid) << c.file;
        EXPECT_EQ(smartTemperatureCelsius(sector), c.celsius) << c.file;
    }
    const auto temperature = decodeSmartAttributes(recordedBytes("smart-sata-hdd-2tb.hex"))[11];
    EXPECT_EQ(temperature.id, 194);
    EXPECT_EQ(temperature.raw, (std::array<std::uint8_t, 6>{40, 0, 18, 0, 55, 0}));
}

TEST(SmartData, SkipsEmptySlotsAndStopsAtTheThirtiethEntry) {
    std::vector<std::uint8_t> sector(512, 0);
    // Slots 0 and 29 used; bytes from offset 362 look like an entry but are the offline data
    // collection status, not a 31st attribute.
    sector[2] = 1;
    sector[2 + 29 * 12] = 200;
    sector[362] = 194;
    sector[367] = 50;
    const auto attributes = decodeSmartAttributes(sector);
    ASSERT_EQ(attributes.size(), 2u);
    EXPECT_EQ(attributes[1].id, 200);
    EXPECT_EQ(smartTemperatureCelsius(sector), std::nullopt);
}

SmartAttribute attribute(std::uint8_t id, std::array<std::uint8_t, 6> raw) {
    SmartAttribute a;
    a.id = id;
    a.raw = raw;
    return a;
}

TEST(SmartTemperature, PlausibleAttributeAndExtremes) {
    struct Case {
        const char* name;
        std::vector<SmartAttribute> attributes;
        std::optional<int> current, minimum, maximum;
    };
    const std::vector<Case> cases = {
        {"190 after 194", {attribute(194, {45}), attribute(190, {31})}, 45, {}, {}},
        {"194 after 190", {attribute(190, {31}), attribute(194, {45})}, 45, {}, {}},
        {"127 is a reading", {attribute(194, {127})}, 127, {}, {}},
        {"implausible 194", {attribute(194, {128}), attribute(190, {29})}, 29, {}, {}},
        {"both implausible", {attribute(194, {255}), attribute(190, {128})}, {}, {}, {}},
        {"extremes packed", {attribute(194, {40, 0, 18, 0, 55, 0})}, 40, 18, 55},
        {"minimum above", {attribute(194, {40, 0, 45, 0, 55, 0})}, 40, {}, {}},
        {"maximum below", {attribute(194, {40, 0, 18, 0, 39, 0})}, 40, {}, {}},
        {"wider raw value", {attribute(194, {40, 1, 18, 0, 55, 0})}, 40, {}, {}},
    };
    for (const auto& c : cases) {
        const auto reading = smartTemperatureReading(c.attributes);
        ASSERT_EQ(reading.has_value(), c.current.has_value()) << c.name;
        if (reading) {
            EXPECT_EQ(reading->current, *c.current) << c.name;
            EXPECT_EQ(reading->minimum, c.minimum) << c.name;
            EXPECT_EQ(reading->maximum, c.maximum) << c.name;
        }
    }
}

TEST(SmartChecksum, NeedsAWholeSector) {
    auto sector = recordedBytes("smart-sata-hdd-2tb.hex");
    EXPECT_FALSE(smartChecksumValid(std::span(sector).first(511)));
    sector[100] ^= 1;
    EXPECT_FALSE(smartChecksumValid(sector));
}

} // namespace
} // namespace qelrlibsmart
