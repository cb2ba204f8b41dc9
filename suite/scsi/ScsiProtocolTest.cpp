#include "suite/scsi/ScsiProtocol.h"

#include "suite/ata/testing/RecordedBytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace qelrlibscsi {
namespace {

using qelrlibata::testing::recordedBytes;
using Bytes = std::vector<std::uint8_t>;

TEST(ScsiCdbs, LengthsAreBigEndianAndPageCodesMasked) {
    EXPECT_EQ(inquiryCdb(0x1234), (std::array<std::uint8_t, 6>{0x12, 0, 0, 0x12, 0x34, 0}));
    EXPECT_EQ(vpdInquiryCdb(0x80, 252), (std::array<std::uint8_t, 6>{0x12, 1, 0x80, 0, 252, 0}));
    EXPECT_EQ(logSenseCdb(0x0D, 0x0200),
              (std::array<std::uint8_t, 10>{0x4D, 0, 0x4D, 0, 0, 0, 0, 0x02, 0x00, 0}));
    EXPECT_EQ(logSenseCdb(0xFF, 64)[2], 0x7F);
}

TEST(Inquiry, RecordedAndCutAnswers) {
    const auto sas = recordedBytes("inquiry-sas-hdd.hex");
    struct Case {
        const char* name;
        Bytes data;
        std::optional<std::string> product; // nullopt: rejected
        std::string revision;
    };
    auto cut = [&](std::size_t length, std::uint8_t additional) {
        Bytes data(sas.begin(), sas.begin() + static_cast<std::ptrdiff_t>(length));
        data[4] = additional;
        return data;
    };
    const std::vector<Case> cases = {
        {"behind SAT", recordedBytes("inquiry-sata-ssd-behind-sat.hex"), "SATA SSD NX500 5",
         "4B6Q"},
        // 32 bytes: the revision field never arrived.
        {"short USB bridge", recordedBytes("inquiry-usb-bridge-short.hex"), "Portable Drive  ", ""},
        {"length past buffer", recordedBytes("inquiry-length-past-buffer.hex"), "NX2400SAS12     ",
         "A3C1"},
        {"12 bytes", recordedBytes("inquiry-truncated-12.hex"), std::nullopt, ""},
        {"vendor cut by the buffer", cut(15, 31), std::nullopt, ""},
        {"product cut by the additional length", cut(36, 23), "NX2400SAS12 ", ""},
        {"revision cut", cut(34, 31), "NX2400SAS12     ", "A3"},
        {"length says less than the vendor", cut(36, 2), std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const auto inquiry = decodeInquiry(c.data);
        ASSERT_EQ(inquiry.has_value(), c.product.has_value()) << c.name;
        if (inquiry) {
            EXPECT_EQ(inquiry->product, *c.product) << c.name;
            EXPECT_EQ(inquiry->revision, c.revision) << c.name;
        }
    }
    auto data = sas;
    data[0] = 0x65;
    EXPECT_EQ(decodeInquiry(data)->peripheralQualifier, 3);
    EXPECT_EQ(decodeInquiry(data)->peripheralDeviceType, 5);
}

TEST(Inquiry, TranslationVendor) {
    EXPECT_TRUE(isAtaTranslationVendor("ATA     "));
    EXPECT_TRUE(isAtaTranslationVendor("ATA"));
    for (const char* other : {"ATAPI   ", " ATA    ", "ata     ", ""}) {
        EXPECT_FALSE(isAtaTranslationVendor(other)) << '"' << other << '"';
    }
}

TEST(VitalProductData, PagesAndSerial) {
    EXPECT_EQ(decodeSupportedVpdPages(recordedBytes("vpd00-sas-hdd.hex")),
              (Bytes{0x00, 0x80, 0x83, 0x86, 0x87, 0x88, 0x8A, 0xB0, 0xB1}));
    EXPECT_TRUE(decodeSupportedVpdPages(recordedBytes("vpd80-sas-hdd.hex")).empty());
    const std::vector<std::pair<Bytes, std::optional<std::string>>> cases = {
        {recordedBytes("vpd80-length-past-buffer.hex"), "ZA1B2C3D"},
        {{0, 0x80, 0, 3, 'A', 'B', 'C', 'D', 'E'}, "ABC"},
        {recordedBytes("vpd00-sas-hdd.hex"), std::nullopt},
        {{0, 0x80, 0}, std::nullopt},
    };
    for (const auto& [data, serial] : cases) {
        EXPECT_EQ(decodeUnitSerialNumber(data), serial) << data.size();
    }
}

TEST(LogPages, SupportedPagesAndTemperature) {
    EXPECT_EQ(decodeSupportedLogPages(recordedBytes("log00-sas-hdd.hex")),
              (Bytes{0x00, 0x02, 0x03, 0x05, 0x06, 0x0D, 0x0E, 0x0F, 0x10, 0x15, 0x18, 0x2F}));
    EXPECT_TRUE(decodeSupportedLogPages(recordedBytes("log0d-sas-hdd.hex")).empty());
    // DS and SPF bits in byte 0 do not change the page.
    EXPECT_EQ(decodeSupportedLogPages(Bytes{0xC0, 0, 0, 1, 0x0D}), Bytes{0x0D});
    struct Case {
        const char* name;
        Bytes data;
        std::optional<int> celsius;
    };
    const std::vector<Case> cases = {
        {"reference listed first", recordedBytes("log0d-reference-first.hex"), 41},
        {"no valid reading", recordedBytes("log0d-no-reading.hex"), std::nullopt},
        {"parameter past the buffer", recordedBytes("log0d-parameter-past-buffer.hex"), {}},
        {"DS bit set", {0x8D, 0, 0, 6, 0, 0, 3, 2, 0, 27}, 27},
        {"value too short", {0x0D, 0, 0, 5, 0, 0, 3, 1, 0}, std::nullopt},
        {"page length cuts the parameter", {0x0D, 0, 0, 5, 0, 0, 3, 2, 0, 27}, std::nullopt},
        {"only the reference", {0x0D, 0, 0, 6, 0, 1, 3, 2, 0, 60}, std::nullopt},
        {"zero-length parameter skipped", {0x0D, 0, 0, 10, 0, 5, 3, 0, 0, 0, 3, 2, 0, 22}, 22},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeTemperatureLogPage(c.data), c.celsius) << c.name;
    }
}

} // namespace
} // namespace qelrlibscsi
