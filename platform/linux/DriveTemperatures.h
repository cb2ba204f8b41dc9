#pragma once
// A drive's temperature sensors, from hwmon.

#include "platform/linux/SysBlock.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct TemperatureSensor {
    int celsius = 0;
    std::optional<int> warning;  // tempN_max
    std::optional<int> critical; // tempN_crit
    std::optional<int> minimum;  // tempN_min
};

// The drive's hwmon sensors (drivetemp for ATA disks, the NVMe controller's own), first sensor
// first; empty when the drive has none.
std::vector<TemperatureSensor> readDriveTemperatures(const BlockDevice& device);

} // namespace platform
