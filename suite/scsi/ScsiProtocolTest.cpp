#include "suite/scsi/ScsiProtocol.h"

#include "suite/ata/RecordedBytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace qelrlibscsi {
namespace {

using qelrlibata::testing::recordedBytes;

TEST(ScsiCdbs, LayOutTheCommands) {
    EXPECT_EQ(inquiryCdb(96), (std::array<std::uint8_t, 6>{0x12, 0, 0, 0, 96, 0}));
    EXPECT_EQ(inquiryCdb(0x1234), (std::array<std::uint8_t, 6>{0x12, 0, 0, 0x12, 0x34, 0}));
    EXPECT_EQ(vpdInquiryCdb(0x80, 252), (std::array<std::uint8_t, 6>{0x12, 1, 0x80, 0, 252, 0}));
    EXPECT_EQ(vpdInquiryCdb(0x00, 255), (std::array<std::uint8_t, 6>{0x12, 1, 0x00, 0, 255, 0}));
    EXPECT_EQ(logSenseCdb(0x0D, 0x0200),
              (std::array<std::uint8_t, 10>{0x4D, 0, 0x4D, 0, 0, 0, 0, 0x02, 0x00, 0}));
    EXPECT_EQ(logSenseCdb(0x00, 64),
              (std::array<std::uint8_t, 10>{0x4D, 0, 0x40, 0, 0, 0, 0, 0, 64, 0}));
    // A page code never spills into the page-control bits.
    EXPECT_EQ(logSenseCdb(0xFF, 64)[2], 0x7F);
}

struct InquiryCase {
    const char* file;
    bool valid;
    const char* vendor;
    const char* product;
    const char* revision;
    bool ataTranslation;
};

class RecordedInquiry : public ::testing::TestWithParam<InquiryCase> {};

TEST_P(RecordedInquiry, DecodesFieldsAsGiven) {
    const InquiryCase& c = GetParam();
    const auto inquiry = decodeInquiry(recordedBytes(c.file));
    ASSERT_EQ(inquiry.has_value(), c.valid);
    if (!c.valid) {
        return;
    }
    EXPECT_EQ(inquiry->peripheralDeviceType, 0);
    EXPECT_EQ(inquiry->vendor, c.vendor);
    EXPECT_EQ(inquiry->product, c.product);
    EXPECT_EQ(inquiry->revision, c.revision);
    EXPECT_EQ(isAtaTranslationVendor(inquiry->vendor), c.ataTranslation);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, RecordedInquiry,
    ::testing::Values(InquiryCase{"inquiry-sata-ssd-behind-sat.hex", true, "ATA     ",
                                  "SATA SSD NX500 5", "4B6Q", true},
                      InquiryCase{"inquiry-sas-hdd.hex", true, "NEXSTOR ", "NX2400SAS12     ",
                                  "A3C1", false},
                      // 32 bytes: the revision field never arrived.
                      InquiryCase{"inquiry-usb-bridge-short.hex", true, "USBDISK ",
                                  "Portable Drive  ", "", false},
                      InquiryCase{"inquiry-length-past-buffer.hex", true, "NEXSTOR ",
                                  "NX2400SAS12     ", "A3C1", false},
                      InquiryCase{"inquiry-truncated-12.hex", false, "", "", "", false}));

TEST(Inquiry, ValidLengthBoundsEveryField) {
    const auto full = recordedBytes("inquiry-sas-hdd.hex");
    struct Case {
        const char* name;
        std::size_t bufferLength;
        std::uint8_t additionalLength;
        std::optional<std::string> product;
        std::string revision;
    };
    const std::vector<Case> cases = {
        {"empty", 0, 31, std::nullopt, ""},
        {"header only", 5, 31, std::nullopt, ""},
        {"vendor cut by the buffer", 15, 31, std::nullopt, ""},
        {"vendor only", 16, 31, "", ""},
        {"product cut by the buffer", 20, 31, "NX24", ""},
        {"product cut by the additional length", 36, 23, "NX2400SAS12 ", ""},
        {"revision cut", 34, 31, "NX2400SAS12     ", "A3"},
        {"length says less than the vendor", 36, 2, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> data(full.begin(), full.begin() + c.bufferLength);
        if (data.size() > 4) {
            data[4] = c.additionalLength;
        }
        const auto inquiry = decodeInquiry(data);
        ASSERT_EQ(inquiry.has_value(), c.product.has_value()) << c.name;
        if (inquiry) {
            EXPECT_EQ(inquiry->product, *c.product) << c.name;
            EXPECT_EQ(inquiry->revision, c.revision) << c.name;
        }
    }
}

TEST(Inquiry, PeripheralByteAndTranslationVendor) {
    auto data = recordedBytes("inquiry-sas-hdd.hex");
    data[0] = 0x65; // qualifier 3, device type 5
    const auto inquiry = decodeInquiry(data);
    ASSERT_TRUE(inquiry);
    EXPECT_EQ(inquiry->peripheralQualifier, 3);
    EXPECT_EQ(inquiry->peripheralDeviceType, 5);

    struct Case {
        const char* vendor;
        bool ata;
    };
    const Case cases[] = {{"ATA     ", true},  {"ATA", true},       {"ATAPI   ", false},
                          {" ATA    ", false}, {"ata     ", false}, {"        ", false},
                          {"", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(isAtaTranslationVendor(c.vendor), c.ata) << '"' << c.vendor << '"';
    }
}

TEST(VitalProductData, SupportedPages) {
    EXPECT_EQ(decodeSupportedVpdPages(recordedBytes("vpd00-sas-hdd.hex")),
              (std::vector<std::uint8_t>{0x00, 0x80, 0x83, 0x86, 0x87, 0x88, 0x8A, 0xB0, 0xB1}));
    // Another page, or a header cut short, lists nothing.
    EXPECT_TRUE(decodeSupportedVpdPages(recordedBytes("vpd80-sas-hdd.hex")).empty());
    EXPECT_TRUE(decodeSupportedVpdPages(std::vector<std::uint8_t>{0, 0, 0}).empty());
}

TEST(VitalProductData, UnitSerialNumber) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        std::optional<std::string> serial;
    };
    const std::vector<Case> cases = {
        {"SAS disk", recordedBytes("vpd80-sas-hdd.hex"), "        ZA1B2C3D0000C9264F7E"},
        {"behind a translation layer", recordedBytes("vpd80-sata-ssd-behind-sat.hex"),
         "     S3Z9NB0K123456A"},
        {"page length past the buffer", recordedBytes("vpd80-length-past-buffer.hex"), "ZA1B2C3D"},
        {"page length shorter than the buffer", {0, 0x80, 0, 3, 'A', 'B', 'C', 'D', 'E'}, "ABC"},
        {"empty serial", {0, 0x80, 0, 0}, ""},
        {"another page", recordedBytes("vpd00-sas-hdd.hex"), std::nullopt},
        {"header cut", {0, 0x80, 0}, std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeUnitSerialNumber(c.data), c.serial) << c.name;
    }
}

TEST(LogPages, SupportedPages) {
    const auto pages = decodeSupportedLogPages(recordedBytes("log00-sas-hdd.hex"));
    EXPECT_EQ(pages, (std::vector<std::uint8_t>{0x00, 0x02, 0x03, 0x05, 0x06, 0x0D, 0x0E, 0x0F,
                                                0x10, 0x15, 0x18, 0x2F}));
    EXPECT_TRUE(decodeSupportedLogPages(recordedBytes("log0d-sas-hdd.hex")).empty());
    // DS and SPF bits in byte 0 do not change the page.
    EXPECT_EQ(decodeSupportedLogPages(std::vector<std::uint8_t>{0xC0, 0, 0, 1, 0x0D}),
              (std::vector<std::uint8_t>{0x0D}));
}

TEST(LogPages, Temperature) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        std::optional<int> celsius;
    };
    const std::vector<Case> cases = {
        {"SAS disk", recordedBytes("log0d-sas-hdd.hex"), 38},
        {"reference listed first", recordedBytes("log0d-reference-first.hex"), 41},
        {"no valid reading", recordedBytes("log0d-no-reading.hex"), std::nullopt},
        {"parameter past the buffer", recordedBytes("log0d-parameter-past-buffer.hex"),
         std::nullopt},
        {"another page", recordedBytes("log00-sas-hdd.hex"), std::nullopt},
        {"DS bit set", {0x8D, 0, 0, 6, 0, 0, 3, 2, 0, 27}, 27},
        {"parameter value too short", {0x0D, 0, 0, 5, 0, 0, 3, 1, 0}, std::nullopt},
        {"page length cuts the parameter", {0x0D, 0, 0, 5, 0, 0, 3, 2, 0, 27}, std::nullopt},
        {"only the reference", {0x0D, 0, 0, 6, 0, 1, 3, 2, 0, 60}, std::nullopt},
        {"zero-length parameter skipped", {0x0D, 0, 0, 10, 0, 5, 3, 0, 0, 0, 3, 2, 0, 22}, 22},
        {"header only", {0x0D, 0, 0, 0}, std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeTemperatureLogPage(c.data), c.celsius) << c.name;
    }
}

} // namespace
} // namespace qelrlibscsi
