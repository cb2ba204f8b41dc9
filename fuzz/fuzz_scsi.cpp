// SCSI answers: standard INQUIRY data, VPD pages, log pages, and the storage temperature
// descriptor, each decoder given the same bytes.
#include "suite/scsi/ScsiProtocol.h"
#include "suite/scsi/StorageTemperature.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    qelrlibscsi::decodeInquiry(bytes);
    qelrlibscsi::decodeSupportedVpdPages(bytes);
    qelrlibscsi::decodeUnitSerialNumber(bytes);
    qelrlibscsi::decodeSupportedLogPages(bytes);
    qelrlibscsi::decodeTemperatureLogPage(bytes);
    qelrlibscsi::decodeReferenceTemperature(bytes);
    qelrlibscsi::storageTemperatureDescriptorSize(bytes);
    qelrlibscsi::decodeStorageTemperature(bytes);
    return 0;
}
