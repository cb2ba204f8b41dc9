#pragma once
// Processor temperature sensors of Linux hwmon (/sys/class/hwmon): coretemp on Intel processors,
// k10temp on AMD ones. Finding the sensors and reading them are separate steps, so that a reader
// found once reads the current value on every call.

#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace libCpuProbe::cpu {

struct HwmonSensors {
    // coretemp "Package id N" (or "Physical id N" of older kernels) inputs by package id N.
    std::map<unsigned, std::filesystem::path> packages;
    // coretemp "Core N" inputs by (package id, core id N). The package is the one named by the
    // same device's package label; 0 when the device has none.
    std::map<std::pair<unsigned, unsigned>, std::filesystem::path> cores;
    // One input per k10temp device ("Tdie", else "Tctl", else the unlabelled temp1 of older
    // kernels), ordered by the PCI device behind it (by hwmon number when that is unknown).
    std::vector<std::filesystem::path> k10temp;
};

// Scans the hwmonN directories of root (normally /sys/class/hwmon), their attributes either in
// hwmonN itself or, on older kernels, in hwmonN/device. Devices of other drivers, and labels
// without a matching input file, are skipped. Empty when root is missing.
HwmonSensors findCpuTemperatureSensors(const std::filesystem::path& root);

// The current value of a tempN_input file in millidegrees Celsius; nullopt when the file cannot
// be read (the driver fails the read while the sensor is not ready) or holds no integer.
std::optional<int> readMillidegrees(const std::filesystem::path& input);
// The same of a text already read.
std::optional<int> parseMillidegrees(std::string_view text);

} // namespace libCpuProbe::cpu
