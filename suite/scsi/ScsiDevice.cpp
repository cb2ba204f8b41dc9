#include "suite/scsi/ScsiDevice.h"

#include "platform/Win32.h"
#include "suite/ata/DeviceText.h"
#include "suite/ata/PassThroughTransport.h"
#include "suite/scsi/ScsiProtocol.h"
#include "suite/scsi/StorageTemperature.h"
#include "suite/smart/SmartProtocol.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qelrlibscsi {

namespace {

using qelrlibata::PassThroughTransport;

constexpr std::uint16_t kInquiryLength = 96;
// Page lengths fit in one byte on every device we read; a larger claim is cut by the decoders.
constexpr std::uint16_t kPageLength = 255;
constexpr std::uint16_t kLogPageLength = 512;
// A temperature descriptor with 30 readings; a device claiming more is asked again, up to the cap.
constexpr std::size_t kTemperatureDescriptorLength = 512;
constexpr std::size_t kMaxTemperatureDescriptorLength = 64 * 1024;

// Sends `cdb` with a data buffer of exactly its allocation length; the answer is a view of `data`.
template <std::size_t N>
std::optional<std::span<const std::uint8_t>>
command(const PassThroughTransport& transport, const std::array<std::uint8_t, N>& cdb,
        std::uint16_t allocationLength, std::vector<std::uint8_t>& data) {
    data.assign(allocationLength, 0);
    const auto got = transport.scsiDataIn(cdb, data);
    if (!got) {
        return std::nullopt;
    }
    return std::span<const std::uint8_t>(data).first(*got);
}

bool queryTemperatureProperty(HANDLE device, std::vector<std::uint8_t>& out, DWORD& returned) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceTemperatureProperty;
    query.QueryType = PropertyStandardQuery;
    returned = 0;
    return win32::DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                                  out.data(), static_cast<DWORD>(out.size()), &returned,
                                  nullptr) != FALSE;
}

} // namespace

ScsiDevice::ScsiDevice(const qel::FileHandle& handle) : handle_(handle) {
    if (!handle_.isValid()) {
        return;
    }
    const PassThroughTransport transport(handle_.get());
    std::vector<std::uint8_t> data;

    if (const auto answer = command(transport, inquiryCdb(kInquiryLength), kInquiryLength, data)) {
        if (const auto inquiry = decodeInquiry(*answer)) {
            vendor_ = qelrlibata::deviceText(inquiry->vendor);
            product_ = qelrlibata::deviceText(inquiry->product);
            revision_ = qelrlibata::deviceText(inquiry->revision);
            ataTranslation_ = isAtaTranslationVendor(inquiry->vendor);
        }
    }

    bool askSerial = true;
    if (const auto answer =
            command(transport, vpdInquiryCdb(kVpdSupportedPages, kPageLength), kPageLength, data)) {
        const auto pages = decodeSupportedVpdPages(*answer);
        askSerial = pages.empty() ||
                    std::find(pages.begin(), pages.end(), kVpdUnitSerialNumber) != pages.end();
    }
    if (askSerial) {
        if (const auto answer = command(transport, vpdInquiryCdb(kVpdUnitSerialNumber, kPageLength),
                                        kPageLength, data)) {
            if (const auto serial = decodeUnitSerialNumber(*answer)) {
                serial_ = qelrlibata::deviceText(*serial);
            }
        }
    }

    if (const auto answer = command(transport, logSenseCdb(kLogSupportedPages, kLogPageLength),
                                    kLogPageLength, data)) {
        const auto pages = decodeSupportedLogPages(*answer);
        mayHaveTemperatureLog_ =
            pages.empty() || std::find(pages.begin(), pages.end(), kLogTemperature) != pages.end();
    }
}

ScsiDevice::~ScsiDevice() = default;

bool ScsiDevice::temperatureCelsius(int& current, int& reference) const {
    if (!handle_.isValid()) {
        return false;
    }
    if (mayHaveTemperatureLog_ && logSenseTemperature(current, reference)) {
        return true;
    }
    if (ataTranslation_ && translatedSmartTemperature(current)) {
        return true;
    }
    return storagePropertyTemperature(current);
}

bool ScsiDevice::logSenseTemperature(int& current, int& reference) const {
    const PassThroughTransport transport(handle_.get());
    std::vector<std::uint8_t> data;
    const auto answer =
        command(transport, logSenseCdb(kLogTemperature, kLogPageLength), kLogPageLength, data);
    if (!answer) {
        return false;
    }
    const auto celsius = decodeTemperatureLogPage(*answer);
    if (!celsius) {
        return false;
    }
    current = *celsius;
    if (const auto rated = decodeReferenceTemperature(*answer)) {
        reference = *rated;
    }
    return true;
}

bool ScsiDevice::translatedSmartTemperature(int& current) const {
    const PassThroughTransport transport(handle_.get());
    std::array<std::uint8_t, qelrlibata::kAtaSectorSize> sector{};
    const auto got = transport.scsiAtaPassThrough(qelrlibata::smartReadDataTaskFile(), sector);
    if (!got) {
        return false;
    }
    const auto celsius = qelrlibsmart::smartTemperatureCelsius(std::span(sector).first(*got));
    if (!celsius) {
        return false;
    }
    current = *celsius;
    return true;
}

bool ScsiDevice::storagePropertyTemperature(int& current) const {
    std::vector<std::uint8_t> out(kTemperatureDescriptorLength);
    DWORD returned = 0;
    if (!queryTemperatureProperty(handle_.get(), out, returned)) {
        const DWORD error = win32::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) {
            return false;
        }
        // Too small for every reading: learn the full size from the header, then ask once more.
        std::vector<std::uint8_t> header(8);
        if (!queryTemperatureProperty(handle_.get(), header, returned)) {
            return false;
        }
        const auto size = storageTemperatureDescriptorSize(
            std::span<const std::uint8_t>(header).first(std::min<std::size_t>(returned, 8)));
        if (!size || *size <= out.size()) {
            return false;
        }
        out.assign(std::min<std::size_t>(*size, kMaxTemperatureDescriptorLength), 0);
        if (!queryTemperatureProperty(handle_.get(), out, returned)) {
            return false;
        }
    }
    const auto celsius = decodeStorageTemperature(
        std::span<const std::uint8_t>(out).first(std::min<std::size_t>(returned, out.size())));
    if (!celsius) {
        return false;
    }
    current = *celsius;
    return true;
}

} // namespace qelrlibscsi
