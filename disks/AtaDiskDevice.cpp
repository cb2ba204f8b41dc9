#include "disks/AtaDiskDevice.h"

#include "suite/ata/AtaDevice.h"
#include "suite/smart/SmartIdeDrive.h"

namespace systemmonitor {

AtaDiskDevice::AtaDiskDevice(const libOSWindows::WindowsDevice& device) : DiskDevice(device) {
    const qel::FileHandle handle = openDevice();
    if (!handle.isValid()) {
        return;
    }
    // The ATA device is needed only for the identity, read once here.
    const qelrlibata::AtaDevice ata(handle, nullptr);
    if (ata.initialized()) {
        model_ = ata.getModelNumber();
        serial_ = ata.getSerialNumber();
        firmware_ = ata.getFirmwareRevision();
    }
    smart_ = std::make_unique<qelrlibsmart::SmartIdeDrive>(handle);
    // A new ATA disk carries a temperature from the start.
    refresh(device);
}

AtaDiskDevice::~AtaDiskDevice() = default;

bool AtaDiskDevice::temperatureCelsius(int& celsius) const {
    if (!temperatureValid_) {
        return false;
    }
    celsius = temperature_;
    return true;
}

void AtaDiskDevice::refresh(const libOSWindows::WindowsDevice& /*device*/) {
    if (smart_) {
        smart_->refreshDriveProperties();
        int current = 0;
        int unused1 = 0;
        int unused2 = 0;
        temperatureValid_ = smart_->temperatureCelsius(current, unused1, unused2);
        if (temperatureValid_) {
            temperature_ = current;
        }
    }
    drive_.refreshVolumes();
}

} // namespace systemmonitor
