#include "suite/scsi/ScsiProtocol.h"

#include <algorithm>

namespace qelrlibscsi {

namespace {

constexpr std::size_t kPageHeaderLength = 4;
constexpr std::size_t kLogParameterHeaderLength = 4;
constexpr std::uint16_t kCurrentTemperatureParameter = 0x0000;
constexpr std::uint16_t kReferenceTemperatureParameter = 0x0001;
constexpr std::uint8_t kNoTemperatureReading = 0xFF;

std::uint16_t bigEndian16(std::span<const std::uint8_t> data, std::size_t offset) {
    return static_cast<std::uint16_t>((data[offset] << 8) | data[offset + 1]);
}

// The body of a VPD or log page whose header names `page`: bytes 2-3 give its length, which is
// cut to the buffer. nullopt when the header is missing or names another page.
std::optional<std::span<const std::uint8_t>> pageBody(std::span<const std::uint8_t> data,
                                                      std::uint8_t page, std::size_t pageCodeByte,
                                                      std::uint8_t pageCodeMask) {
    if (data.size() < kPageHeaderLength || (data[pageCodeByte] & pageCodeMask) != page) {
        return std::nullopt;
    }
    const std::size_t length =
        std::min<std::size_t>(bigEndian16(data, 2), data.size() - kPageHeaderLength);
    return data.subspan(kPageHeaderLength, length);
}

std::optional<std::span<const std::uint8_t>> vpdBody(std::span<const std::uint8_t> data,
                                                     std::uint8_t page) {
    return pageBody(data, page, 1, 0xFF);
}

// Byte 0 of a log page also carries the DS and SPF bits.
std::optional<std::span<const std::uint8_t>> logBody(std::span<const std::uint8_t> data,
                                                     std::uint8_t page) {
    return pageBody(data, page, 0, 0x3F);
}

std::string field(std::span<const std::uint8_t> data, std::size_t offset, std::size_t length) {
    if (offset >= data.size()) {
        return {};
    }
    const auto bytes = data.subspan(offset, std::min(length, data.size() - offset));
    return std::string(bytes.begin(), bytes.end());
}

// The temperature byte of parameter `wanted` of log page 0x0D.
std::optional<int> temperatureParameter(std::span<const std::uint8_t> data, std::uint16_t wanted) {
    const auto body = logBody(data, kLogTemperature);
    if (!body) {
        return std::nullopt;
    }
    std::size_t offset = 0;
    while (offset + kLogParameterHeaderLength <= body->size()) {
        const std::uint16_t code = bigEndian16(*body, offset);
        const std::size_t length = (*body)[offset + 3];
        const std::size_t valueOffset = offset + kLogParameterHeaderLength;
        if (code == wanted) {
            // Byte 0 of the value is reserved; byte 1 is the temperature.
            if (length < 2 || valueOffset + 2 > body->size()) {
                return std::nullopt;
            }
            const std::uint8_t celsius = (*body)[valueOffset + 1];
            if (celsius == kNoTemperatureReading) {
                return std::nullopt;
            }
            return celsius;
        }
        offset = valueOffset + length;
    }
    return std::nullopt;
}

} // namespace

std::array<std::uint8_t, 6> inquiryCdb(std::uint16_t allocationLength) {
    return {kOpInquiry,
            0,
            0,
            static_cast<std::uint8_t>(allocationLength >> 8),
            static_cast<std::uint8_t>(allocationLength),
            0};
}

std::array<std::uint8_t, 6> vpdInquiryCdb(std::uint8_t page, std::uint16_t allocationLength) {
    constexpr std::uint8_t kEnableVitalProductData = 0x01;
    return {kOpInquiry,
            kEnableVitalProductData,
            page,
            static_cast<std::uint8_t>(allocationLength >> 8),
            static_cast<std::uint8_t>(allocationLength),
            0};
}

std::array<std::uint8_t, 10> logSenseCdb(std::uint8_t page, std::uint16_t allocationLength) {
    constexpr std::uint8_t kCumulativeValues = 0x40; // PC = 01b
    return {kOpLogSense,
            0,
            static_cast<std::uint8_t>(kCumulativeValues | (page & 0x3F)),
            0,
            0,
            0,
            0,
            static_cast<std::uint8_t>(allocationLength >> 8),
            static_cast<std::uint8_t>(allocationLength),
            0};
}

std::optional<InquiryData> decodeInquiry(std::span<const std::uint8_t> data) {
    constexpr std::size_t kVendorEnd = 16;
    if (data.size() < 5) {
        return std::nullopt;
    }
    const std::size_t valid = std::min<std::size_t>(data.size(), data[4] + 5u);
    if (valid < kVendorEnd) {
        return std::nullopt;
    }
    const auto bytes = data.first(valid);
    InquiryData inquiry;
    inquiry.peripheralQualifier = static_cast<std::uint8_t>(bytes[0] >> 5);
    inquiry.peripheralDeviceType = static_cast<std::uint8_t>(bytes[0] & 0x1F);
    inquiry.vendor = field(bytes, 8, 8);
    inquiry.product = field(bytes, 16, 16);
    inquiry.revision = field(bytes, 32, 4);
    return inquiry;
}

bool isAtaTranslationVendor(const std::string& vendor) {
    const auto end = vendor.find_last_not_of(' ');
    return end != std::string::npos && vendor.substr(0, end + 1) == "ATA";
}

std::vector<std::uint8_t> decodeSupportedVpdPages(std::span<const std::uint8_t> data) {
    const auto body = vpdBody(data, kVpdSupportedPages);
    if (!body) {
        return {};
    }
    return std::vector<std::uint8_t>(body->begin(), body->end());
}

std::optional<std::string> decodeUnitSerialNumber(std::span<const std::uint8_t> data) {
    const auto body = vpdBody(data, kVpdUnitSerialNumber);
    if (!body) {
        return std::nullopt;
    }
    return std::string(body->begin(), body->end());
}

std::vector<std::uint8_t> decodeSupportedLogPages(std::span<const std::uint8_t> data) {
    const auto body = logBody(data, kLogSupportedPages);
    if (!body) {
        return {};
    }
    std::vector<std::uint8_t> pages;
    for (const std::uint8_t page : *body) {
        pages.push_back(static_cast<std::uint8_t>(page & 0x3F));
    }
    return pages;
}

std::optional<int> decodeTemperatureLogPage(std::span<const std::uint8_t> data) {
    return temperatureParameter(data, kCurrentTemperatureParameter);
}

std::optional<int> decodeReferenceTemperature(std::span<const std::uint8_t> data) {
    return temperatureParameter(data, kReferenceTemperatureParameter);
}

} // namespace qelrlibscsi
