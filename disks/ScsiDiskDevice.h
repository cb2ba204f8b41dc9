#pragma once

#include "disks/DiskDevice.h"

#include <cstdint>
#include <memory>

namespace qelrlibscsi {
class ScsiDevice;
}

namespace systemmonitor {

// A disk on a SCSI enumerator: identity and temperature through SCSI commands. A new SCSI disk
// reports no temperature until its first refresh.
class ScsiDiskDevice final : public DiskDevice {
public:
    explicit ScsiDiskDevice(const libOSWindows::WindowsDevice& device);
    ~ScsiDiskDevice() override;

    bool temperatureCelsius(int& celsius) const override;
    void refresh(const libOSWindows::WindowsDevice& device) override;

private:
    bool temperatureValid_ = false;
    std::int32_t temperature_ = 0;
    std::unique_ptr<qelrlibscsi::ScsiDevice> scsi_; // null when the device did not open
};

} // namespace systemmonitor
