#include "platform/linux/DriveTemperatures.h"

#include "platform/linux/SysfsText.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace platform {
namespace fs = std::filesystem;
using namespace sysfs;

namespace {

// hwmon's millidegrees, to the nearest degree.
std::optional<int> degrees(const fs::path& file) {
    const auto milli = readNumberFile<long long>(file);
    return milli
               ? std::optional(static_cast<int>(std::lround(static_cast<double>(*milli) / 1000.0)))
               : std::nullopt;
}

std::vector<fs::path> hwmonDirectories(const fs::path& device) {
    std::vector<fs::path> found;
    for (const fs::path& base : {device / "hwmon", device}) {
        for (const auto& name : directoryNames(base).value_or(std::vector<std::string>{})) {
            if (isNumbered(name, "hwmon")) {
                found.push_back(base / name);
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

std::vector<TemperatureSensor> readDriveTemperatures(const BlockDevice& device) {
    std::vector<TemperatureSensor> sensors;
    for (const fs::path& hwmon : hwmonDirectories(device.sysDir / "device")) {
        for (int index = 1; index <= 8; ++index) {
            const std::string prefix = "temp" + std::to_string(index) + "_";
            const auto current = degrees(hwmon / (prefix + "input"));
            if (!current) {
                continue;
            }
            TemperatureSensor sensor;
            sensor.celsius = *current;
            sensor.warning = degrees(hwmon / (prefix + "max"));
            sensor.critical = degrees(hwmon / (prefix + "crit"));
            sensor.minimum = degrees(hwmon / (prefix + "min"));
            sensors.push_back(sensor);
        }
    }
    return sensors;
}

} // namespace platform
