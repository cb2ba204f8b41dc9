// The storage-information requests of a disk handle: device number, the device and temperature
// descriptors, length and geometry.

#include "platform/linux/DeviceHandle.h"
#include "platform/linux/DriveTemperatures.h"
#include "platform/linux/WindowsNames.h"

#include "platform/BufferAnswer.h"
#include "platform/PassThrough.h"
#include "platform/StorageDescriptor.h"

#include <algorithm>
#include <cstring>
#include <linux/hdreg.h>
#include <sys/ioctl.h>

namespace platform::storage {
namespace {

std::vector<std::uint8_t> deviceDescriptor(const BlockDevice& device) {
    STORAGE_DEVICE_DESCRIPTOR fixed{};
    fixed.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    fixed.DeviceType = device.cdrom ? 0x05 : 0x00;
    fixed.RemovableMedia = device.removable ? 1 : 0;
    fixed.CommandQueueing = device.commandQueueing ? 1 : 0;
    fixed.BusType = static_cast<STORAGE_BUS_TYPE>(windowsBusType(device.bus));
    // What sysfs does not have is absent, not an empty text.
    const auto present = [](const std::string& text) { return text.empty() ? nullptr : &text; };
    return storageDeviceDescriptor(fixed, {present(device.vendor), present(device.model),
                                           present(device.revision), present(device.serial)});
}

std::vector<std::uint8_t> temperatureDescriptor(const std::vector<TemperatureSensor>& sensors) {
    constexpr std::size_t header =
        offsetof(win32::StorageTemperatureDataDescriptor, TemperatureInfo);
    const std::size_t count = std::min<std::size_t>(sensors.size(), 0xFFFF);
    std::vector<std::uint8_t> bytes(header + count * sizeof(win32::StorageTemperatureInfo), 0);
    win32::StorageTemperatureDataDescriptor fixed{};
    fixed.Version = sizeof(win32::StorageTemperatureDataDescriptor);
    fixed.Size = static_cast<std::uint32_t>(bytes.size());
    fixed.CriticalTemperature = static_cast<std::int16_t>(sensors.front().critical.value_or(0));
    fixed.WarningTemperature = static_cast<std::int16_t>(sensors.front().warning.value_or(0));
    fixed.InfoCount = static_cast<std::uint16_t>(count);
    std::memcpy(bytes.data(), &fixed, header);
    for (std::size_t i = 0; i < count; ++i) {
        win32::StorageTemperatureInfo info{};
        info.Index = static_cast<std::uint16_t>(i);
        info.Temperature = static_cast<std::int16_t>(sensors[i].celsius);
        info.OverThreshold = static_cast<std::int16_t>(sensors[i].warning.value_or(0));
        info.UnderThreshold = static_cast<std::int16_t>(sensors[i].minimum.value_or(0));
        std::memcpy(bytes.data() + header + i * sizeof(info), &info, sizeof(info));
    }
    return bytes;
}

BOOL answered(DWORD error) {
    return error == 0 ? TRUE : fail(error);
}

} // namespace

std::optional<std::uint64_t> nodeSectors(const StorageRoots& roots, const std::string& node) {
    const auto text = readSysAttribute(roots.sys / "class" / "block" / node / "size");
    if (!text) {
        return std::nullopt;
    }
    try {
        return std::stoull(*text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

BOOL queryDeviceNumber(const Handle& handle, void* out, DWORD outSize, DWORD* returned) {
    if (!handle.number) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    STORAGE_DEVICE_NUMBER number{};
    number.DeviceType = handle.deviceType;
    number.DeviceNumber = *handle.number;
    number.PartitionNumber = handle.partition;
    return answered(answerFixed(&number, sizeof(number), out, outSize, returned));
}

BOOL queryProperty(const Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                   DWORD* returned) {
    if (in == nullptr || inSize < 8) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    std::int32_t property = 0;
    std::int32_t type = 0;
    std::memcpy(&property, in, 4);
    std::memcpy(&type, static_cast<const std::uint8_t*>(in) + 4, 4);
    if (type != PropertyStandardQuery && type != 1) { // 1: PropertyExistsQuery
        return fail(ERROR_INVALID_PARAMETER);
    }
    const BlockDevice device = handle.current();
    std::vector<std::uint8_t> bytes;
    if (property == StorageDeviceProperty) {
        bytes = deviceDescriptor(device);
    } else if (property == StorageDeviceTemperatureProperty) {
        const auto sensors = readDriveTemperatures(device);
        if (sensors.empty()) {
            return fail(ERROR_NOT_SUPPORTED);
        }
        bytes = temperatureDescriptor(sensors);
    } else {
        return fail(ERROR_NOT_SUPPORTED);
    }
    if (type == 1) {
        setReturned(returned, 0);
        return TRUE;
    }
    return answered(answerDescriptor(bytes, out, outSize, returned));
}

BOOL queryLength(const Handle& handle, void* out, DWORD outSize, DWORD* returned) {
    if (handle.node.empty()) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    const auto sectors = nodeSectors(handle.roots, handle.node);
    if (!sectors) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    if (*sectors == 0) {
        return fail(ERROR_NOT_READY); // no medium
    }
    GET_LENGTH_INFORMATION length{};
    length.Length.QuadPart = static_cast<LONGLONG>(*sectors * 512);
    return answered(answerFixed(&length, sizeof(length), out, outSize, returned));
}

BOOL queryGeometry(Handle& handle, void* out, DWORD outSize, DWORD* returned) {
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    const BlockDevice device = handle.current();
    if (device.sectors == 0) {
        return fail(ERROR_NOT_READY);
    }
    DWORD heads = 255;
    DWORD perTrack = 63;
    if (device.cdrom) {
        heads = 64;
        perTrack = 32;
    } else if (const int fd = handle.descriptor(); fd >= 0) {
        hd_geometry geometry{};
        if (::ioctl(fd, HDIO_GETGEO, &geometry) == 0 && geometry.heads > 0 &&
            geometry.sectors > 0) {
            heads = geometry.heads;
            perTrack = geometry.sectors;
        }
    }
    DISK_GEOMETRY answer{};
    answer.BytesPerSector = device.logicalBlockSize;
    answer.TracksPerCylinder = heads;
    answer.SectorsPerTrack = perTrack;
    answer.Cylinders.QuadPart = static_cast<LONGLONG>(
        device.sectors * 512 / (std::uint64_t{heads} * perTrack * device.logicalBlockSize));
    answer.MediaType = device.removable || device.cdrom ? RemovableMedia : FixedMedia;
    return answered(answerFixed(&answer, sizeof(answer), out, outSize, returned));
}

} // namespace platform::storage
