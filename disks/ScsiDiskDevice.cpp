#include "disks/ScsiDiskDevice.h"

#include "platform/Hot.h"
#include "suite/scsi/ScsiDevice.h"

namespace systemmonitor {

ScsiDiskDevice::ScsiDiskDevice(const libOSWindows::WindowsDevice& device) : DiskDevice(device) {
    const qel::FileHandle handle = openDevice();
    if (!handle.isValid()) {
        return;
    }
    scsi_ = std::make_unique<qelrlibscsi::ScsiDevice>(handle);
    // The vendor keeps its padding: "ATA     " joins the product as is, then blanks collapse.
    qel::String product = scsi_->getProductId();
    product.trim();
    model_ = scsi_->getVendorId() + product;
    serial_ = scsi_->getSerialNumber();
    serial_.trim();
    firmware_ = scsi_->getProductRevisionLevel();
    firmware_.trim();
    model_.normalizeSpaces();
    serial_.normalizeSpaces();
    firmware_.normalizeSpaces();
}

ScsiDiskDevice::~ScsiDiskDevice() = default;

SM_HOT bool ScsiDiskDevice::temperatureCelsius(int& celsius) const {
    if (!temperatureValid_) {
        return false;
    }
    celsius = temperature_;
    return true;
}

void ScsiDiskDevice::refresh(const libOSWindows::WindowsDevice& /*device*/) {
    if (scsi_) {
        int current = 0;
        int unused = 0;
        temperatureValid_ = scsi_->temperatureCelsius(current, unused);
        if (temperatureValid_) {
            temperature_ = current;
        }
    }
    drive_.refreshVolumes();
}

} // namespace systemmonitor
