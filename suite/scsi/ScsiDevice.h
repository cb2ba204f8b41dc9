#pragma once
// A SCSI disk (or a disk that the storage stack presents as one): its identification, read once
// when the object is made, and its temperature, read on every request.

#include "foundation/FileHandleResManager.h"
#include "foundation/String.h"

#include <cstdint>
#include <vector>

namespace qelrlibscsi {

class ScsiDevice {
public:
    // Keeps its own reference to `handle`. Sends standard INQUIRY, VPD pages 0x00 and 0x80 and
    // LOG SENSE page 0x00; what fails leaves its field empty.
    explicit ScsiDevice(const qel::FileHandle& handle);
    ~ScsiDevice();

    // The standard INQUIRY fields and the VPD 0x80 serial number, as the device gave them
    // (blank padded, untrimmed).
    qel::String getVendorId() const { return vendor_; }
    qel::String getProductId() const { return product_; }
    qel::String getSerialNumber() const { return serial_; }
    qel::String getProductRevisionLevel() const { return revision_; }

    // Asks the device now: LOG SENSE page 0x0D, else SMART READ DATA through ATA
    // PASS-THROUGH(16) for a disk behind an ATA translation layer, else the storage driver's
    // temperature property. True with `current` in degrees Celsius when one of them answers;
    // `reference` receives the device's rated maximum when the log page gives it, and is left
    // as it was otherwise.
    bool temperatureCelsius(int& current, int& reference) const;

private:
    bool logSenseTemperature(int& current, int& reference) const;
    bool translatedSmartTemperature(int& current) const;
    bool storagePropertyTemperature(int& current) const;

    qel::FileHandle handle_;
    qel::String vendor_;
    qel::String product_;
    qel::String serial_;
    qel::String revision_;
    bool ataTranslation_ = false;
    // False only when the device listed its log pages without 0x0D.
    bool mayHaveTemperatureLog_ = true;
};

} // namespace qelrlibscsi
