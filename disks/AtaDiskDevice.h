#pragma once

#include "disks/DiskDevice.h"

#include <cstdint>
#include <memory>

namespace qelrlibsmart {
class SmartIdeDrive;
}

namespace systemmonitor {

// A disk on an IDE enumerator: identity through ATA IDENTIFY, temperature through SMART.
class AtaDiskDevice final : public DiskDevice {
public:
    explicit AtaDiskDevice(const libOSWindows::WindowsDevice& device);
    ~AtaDiskDevice() override;

    bool temperatureCelsius(int& celsius) const override;
    void refresh(const libOSWindows::WindowsDevice& device) override;

private:
    bool temperatureValid_ = false;
    std::int32_t temperature_ = 0;
    std::unique_ptr<qelrlibsmart::SmartIdeDrive> smart_; // null when the device did not open
};

} // namespace systemmonitor
