#include "suite/smart/SmartProtocol.h"

#include "suite/ata/RecordedBytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace qelrlibsmart {
namespace {

using qelrlibata::testing::recordedBytes;

struct RecordedCase {
    const char* file;
    std::size_t attributeCount;
    bool checksumValid;
    std::optional<int> celsius;
};

class RecordedSmartData : public ::testing::TestWithParam<RecordedCase> {};

TEST_P(RecordedSmartData, DecodesTableAndTemperature) {
    const RecordedCase& c = GetParam();
    const auto sector = recordedBytes(c.file);
    EXPECT_EQ(decodeSmartAttributes(sector).size(), c.attributeCount);
    EXPECT_EQ(smartChecksumValid(sector), c.checksumValid);
    EXPECT_EQ(smartTemperatureCelsius(sector), c.celsius);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, RecordedSmartData,
    ::testing::Values(
        // 194 wins over 190; only raw byte 0 counts, not the packed minimum and maximum.
        RecordedCase{"smart-sata-hdd-2tb.hex", 17, true, 40},
        RecordedCase{"smart-sata-ssd-airflow-only.hex", 14, true, 33},
        RecordedCase{"smart-usb-flash-no-temperature.hex", 6, true, std::nullopt},
        RecordedCase{"smart-sata-hdd-194-vendor-raw.hex", 3, true, 36},
        RecordedCase{"smart-implausible-temperature.hex", 2, false, std::nullopt},
        // Eight whole entries fit in 100 bytes; the cut ninth is not read.
        RecordedCase{"smart-truncated-100.hex", 8, false, std::nullopt}));

TEST(SmartAttributes, DecodesEntryFields) {
    const auto sector = recordedBytes("smart-sata-hdd-2tb.hex");
    const auto attributes = decodeSmartAttributes(sector);
    ASSERT_EQ(attributes.size(), 17u);
    const SmartAttribute& powerOnHours = attributes[5];
    EXPECT_EQ(powerOnHours.id, 9);
    EXPECT_EQ(powerOnHours.flags, 0x0032);
    EXPECT_EQ(powerOnHours.current, 48);
    EXPECT_EQ(powerOnHours.worst, 48);
    EXPECT_EQ(powerOnHours.raw, (std::array<std::uint8_t, 6>{0x0C, 0x96, 0, 0, 0, 0}));
    const SmartAttribute& temperature = attributes[11];
    EXPECT_EQ(temperature.id, 194);
    EXPECT_EQ(temperature.raw, (std::array<std::uint8_t, 6>{40, 0, 18, 0, 55, 0}));
}

TEST(SmartAttributes, SkipsEmptySlotsAndStopsAtTheThirtiethEntry) {
    std::vector<std::uint8_t> sector(512, 0);
    // Slots 0 and 29 used, 1..28 empty; bytes after slot 29 (offset 362 on) look like an entry
    // but are the offline data collection status, not a 31st attribute.
    sector[2] = 1;
    sector[2 + 29 * 12] = 200;
    sector[362] = 194;
    sector[367] = 50;
    const auto attributes = decodeSmartAttributes(sector);
    ASSERT_EQ(attributes.size(), 2u);
    EXPECT_EQ(attributes[0].id, 1);
    EXPECT_EQ(attributes[1].id, 200);
    EXPECT_EQ(smartTemperatureCelsius(sector), std::nullopt);
}

SmartAttribute attribute(std::uint8_t id, std::uint8_t raw0) {
    SmartAttribute a;
    a.id = id;
    a.raw = {raw0, 0x11, 0x22, 0x33, 0x44, 0x55};
    return a;
}

TEST(SmartTemperature, PicksThePlausibleAttribute) {
    struct Case {
        const char* name;
        std::vector<SmartAttribute> attributes;
        std::optional<int> celsius;
    };
    const std::vector<Case> cases = {
        {"none", {}, std::nullopt},
        {"194 only", {attribute(194, 45)}, 45},
        {"190 only", {attribute(190, 31)}, 31},
        {"194 before 190 in the table", {attribute(194, 45), attribute(190, 31)}, 45},
        {"194 after 190 in the table", {attribute(190, 31), attribute(194, 45)}, 45},
        {"127 is a reading", {attribute(194, 127)}, 127},
        {"128 is not", {attribute(194, 128)}, std::nullopt},
        {"implausible 194 falls back to 190", {attribute(194, 200), attribute(190, 29)}, 29},
        {"both implausible", {attribute(194, 255), attribute(190, 128)}, std::nullopt},
        {"zero is a reading", {attribute(194, 0)}, 0},
        {"other attributes ignored", {attribute(231, 40), attribute(9, 30)}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(smartTemperatureCelsius(std::span<const SmartAttribute>(c.attributes)), c.celsius)
            << c.name;
    }
}

TEST(SmartTemperature, ExtremesOnlyInTheCommonLayout) {
    struct Case {
        const char* name;
        std::array<std::uint8_t, 6> raw;
        std::optional<int> minimum;
        std::optional<int> maximum;
    };
    const Case cases[] = {
        {"minimum and maximum packed", {40, 0, 18, 0, 55, 0}, 18, 55},
        {"extremes equal to the reading", {40, 0, 40, 0, 40, 0}, 40, 40},
        {"minimum above the reading", {40, 0, 45, 0, 55, 0}, std::nullopt, std::nullopt},
        {"maximum below the reading", {40, 0, 18, 0, 39, 0}, std::nullopt, std::nullopt},
        {"implausible maximum", {40, 0, 18, 0, 200, 0}, std::nullopt, std::nullopt},
        {"a wider raw value", {40, 1, 18, 0, 55, 0}, std::nullopt, std::nullopt},
        {"nothing packed", {40, 0, 0, 0, 0, 0}, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SmartAttribute a;
        a.id = kAttributeTemperature;
        a.raw = c.raw;
        const std::vector<SmartAttribute> attributes{a};
        const auto reading = smartTemperatureReading(attributes);
        ASSERT_TRUE(reading.has_value()) << c.name;
        EXPECT_EQ(reading->current, 40) << c.name;
        EXPECT_EQ(reading->minimum, c.minimum) << c.name;
        EXPECT_EQ(reading->maximum, c.maximum) << c.name;
    }
}

TEST(SmartChecksum, NeedsAWholeSector) {
    auto sector = recordedBytes("smart-sata-hdd-2tb.hex");
    EXPECT_TRUE(smartChecksumValid(sector));
    EXPECT_FALSE(smartChecksumValid(std::span(sector).first(511)));
    sector[100] ^= 1;
    EXPECT_FALSE(smartChecksumValid(sector));
    EXPECT_FALSE(smartChecksumValid({}));
}

} // namespace
} // namespace qelrlibsmart
