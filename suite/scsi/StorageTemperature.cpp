#include "suite/scsi/StorageTemperature.h"

#include "platform/PassThrough.h"

#include <algorithm>
#include <cstring>

namespace qelrlibscsi {

namespace {

using Descriptor = win32::StorageTemperatureDataDescriptor;
using Info = win32::StorageTemperatureInfo;
static_assert(offsetof(Descriptor, TemperatureInfo) == kStorageTemperatureHeaderLength);
static_assert(sizeof(Info) == kStorageTemperatureInfoLength);

template <typename T> T readAt(std::span<const std::uint8_t> data, std::size_t offset) {
    T value;
    std::memcpy(&value, data.data() + offset, sizeof(T));
    return value;
}

} // namespace

std::optional<std::uint32_t> storageTemperatureDescriptorSize(std::span<const std::uint8_t> data) {
    if (data.size() < offsetof(Descriptor, Size) + sizeof(std::uint32_t)) {
        return std::nullopt;
    }
    return readAt<std::uint32_t>(data, offsetof(Descriptor, Size));
}

std::optional<int> decodeStorageTemperature(std::span<const std::uint8_t> data) {
    if (data.size() < kStorageTemperatureHeaderLength) {
        return std::nullopt;
    }
    const auto size = readAt<std::uint32_t>(data, offsetof(Descriptor, Size));
    const auto infoCount = readAt<std::uint16_t>(data, offsetof(Descriptor, InfoCount));
    const std::size_t valid = std::min<std::size_t>(data.size(), size);
    if (valid < kStorageTemperatureHeaderLength) {
        return std::nullopt;
    }
    const std::size_t fits = (valid - kStorageTemperatureHeaderLength) / sizeof(Info);
    const std::size_t count = std::min<std::size_t>(infoCount, fits);

    std::optional<int> best;
    std::uint16_t bestIndex = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto info = readAt<Info>(data, kStorageTemperatureHeaderLength + i * sizeof(Info));
        if (info.Temperature < kMinPlausibleCelsius || info.Temperature > kMaxPlausibleCelsius) {
            continue;
        }
        if (!best || info.Index < bestIndex) {
            best = info.Temperature;
            bestIndex = info.Index;
        }
    }
    return best;
}

} // namespace qelrlibscsi
