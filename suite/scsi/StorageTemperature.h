#pragma once
// The storage temperature descriptor (the answer to IOCTL_STORAGE_QUERY_PROPERTY with
// StorageDeviceTemperatureProperty), decoded from bytes. Windows' storage drivers answer it for
// NVMe and SATA disks alike.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace qelrlibscsi {

// Fixed part of the descriptor, before its first reading.
inline constexpr std::size_t kStorageTemperatureHeaderLength = 24;
inline constexpr std::size_t kStorageTemperatureInfoLength = 16;
// A reading outside this range is a sensor's "not available" value, not a temperature.
inline constexpr int kMinPlausibleCelsius = -55;
inline constexpr int kMaxPlausibleCelsius = 127;

// The descriptor's full length (its Size field), or nullopt when fewer than 8 bytes are given.
std::optional<std::uint32_t> storageTemperatureDescriptorSize(std::span<const std::uint8_t> data);

// The device's temperature in degrees Celsius: the plausible reading with the lowest Index (0 is
// the device as a whole). Only readings inside both the buffer and the descriptor's Size are
// read, however large InfoCount claims to be; nullopt when there is none.
std::optional<int> decodeStorageTemperature(std::span<const std::uint8_t> data);

} // namespace qelrlibscsi
