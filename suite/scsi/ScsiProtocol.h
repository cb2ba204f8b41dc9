#pragma once
// SCSI commands as bytes: the CDBs of INQUIRY and LOG SENSE, and the decoding of standard
// INQUIRY data, the vital product data pages 0x00 and 0x80, and the log pages 0x00 and 0x0D.
// Nothing here touches a handle. Every decoder reads only what both the buffer and the answer's
// own length fields cover.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qelrlibscsi {

inline constexpr std::uint8_t kOpInquiry = 0x12;
inline constexpr std::uint8_t kOpLogSense = 0x4D;

inline constexpr std::uint8_t kVpdSupportedPages = 0x00;
inline constexpr std::uint8_t kVpdUnitSerialNumber = 0x80;
inline constexpr std::uint8_t kLogSupportedPages = 0x00;
inline constexpr std::uint8_t kLogTemperature = 0x0D;

inline constexpr std::size_t kStandardInquiryLength = 36;

// INQUIRY for the standard data.
std::array<std::uint8_t, 6> inquiryCdb(std::uint16_t allocationLength);

// INQUIRY with EVPD set, for vital product data page `page`.
std::array<std::uint8_t, 6> vpdInquiryCdb(std::uint8_t page, std::uint16_t allocationLength);

// LOG SENSE of the cumulative values of `page`.
std::array<std::uint8_t, 10> logSenseCdb(std::uint8_t page, std::uint16_t allocationLength);

// The identification fields of standard INQUIRY data, ASCII as the device gave them (padded with
// blanks; the caller trims).
struct InquiryData {
    std::uint8_t peripheralQualifier = 0;  // byte 0 bits 7-5
    std::uint8_t peripheralDeviceType = 0; // byte 0 bits 4-0; 0 is a direct-access block device
    std::string vendor;                    // bytes 8-15
    std::string product;                   // bytes 16-31
    std::string revision;                  // bytes 32-35
};

// Standard INQUIRY data. The valid length is the additional length (byte 4) plus 5, bounded by
// the buffer; fields beyond it are cut short or empty. nullopt when the valid length does not
// reach the end of the vendor field.
std::optional<InquiryData> decodeInquiry(std::span<const std::uint8_t> data);

// Whether `vendor` (a standard INQUIRY vendor field) names a SCSI-to-ATA translation layer:
// "ATA" padded with blanks.
bool isAtaTranslationVendor(const std::string& vendor);

// The page list of VPD page 0x00; empty when the header is missing or names another page.
std::vector<std::uint8_t> decodeSupportedVpdPages(std::span<const std::uint8_t> data);

// The product serial number of VPD page 0x80, as given (devices often pad it with leading
// blanks); nullopt when the header is missing or names another page. A page length past the
// buffer is cut to the buffer.
std::optional<std::string> decodeUnitSerialNumber(std::span<const std::uint8_t> data);

// The page list of log page 0x00; empty when the header is missing or names another page.
std::vector<std::uint8_t> decodeSupportedLogPages(std::span<const std::uint8_t> data);

// The current temperature of log page 0x0D (parameter 0x0000) in degrees Celsius; nullopt when
// the page is not page 0x0D, the parameter is absent or cut off, or the device reports 0xFF
// ("no valid reading").
std::optional<int> decodeTemperatureLogPage(std::span<const std::uint8_t> data);

// The reference temperature of log page 0x0D (parameter 0x0001, the highest temperature the
// device is rated for), under the same rules.
std::optional<int> decodeReferenceTemperature(std::span<const std::uint8_t> data);

} // namespace qelrlibscsi
