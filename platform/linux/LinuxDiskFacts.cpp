// A disk's facts from sysfs: the storage and temperature descriptors, geometry and length, the
// identification the drive answers, and its plug-and-play record.

#include "platform/linux/LinuxStorageFacts.h"

#include "platform/StorageDescriptor.h"
#include "platform/WideText.h"
#include "platform/linux/DriveIdentity.h"
#include "platform/linux/DriveTemperatures.h"
#include "platform/linux/WindowsNames.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

constexpr DWORD kSpdrpHardwareId = 0x1;
constexpr DWORD kSpdrpService = 0x4;
constexpr DWORD kSpdrpClass = 0x7;
constexpr DWORD kSpdrpClassGuid = 0x8;
constexpr DWORD kSpdrpMfg = 0xB;
// DN_DRIVER_LOADED | DN_STARTED | DN_DISABLEABLE | DN_NT_ENUMERATOR | DN_NT_DRIVER: a started disk.
constexpr ULONG kStartedDiskStatus = 0x0180200A;
constexpr ULONG kRemovableStatus = 0x00004000; // DN_REMOVABLE

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

std::optional<std::vector<std::uint8_t>>
temperatureDescriptor(const std::vector<TemperatureSensor>& sensors) {
    if (sensors.empty()) {
        return std::nullopt;
    }
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

// sysfs texts may carry anything; a drive's identification is printable ASCII.
std::string printable(std::string text) {
    for (char& c : text) {
        if (c < 0x20 || c >= 0x7F) {
            c = ' ';
        }
    }
    return text;
}

// What the drive answers to INQUIRY, VPD, LOG SENSE, READ CAPACITY and IDENTIFY without the
// device: the texts and pages sysfs gives, the IDENTIFY block libata recorded.
DriveFacts driveFacts(const BlockDevice& device, const std::vector<TemperatureSensor>& sensors) {
    DriveFacts facts;
    facts.peripheralType = device.cdrom ? 0x05 : 0x00;
    facts.removable = device.removable;
    facts.mediumPresent = device.sectors > 0 || !device.removable;
    facts.scsiVersion = device.scsiLevel > 0 ? static_cast<std::uint8_t>(device.scsiLevel - 1) : 0;
    facts.vendor = printable(device.vendor);
    facts.product = printable(device.model);
    facts.revision = printable(device.revision);
    if (!device.serial.empty()) {
        facts.serial = printable(device.serial);
    }
    facts.vpd80 = device.vpd80;
    facts.vpd83 = device.vpd83;
    if (!sensors.empty()) {
        facts.temperature = sensors.front().celsius;
        facts.referenceTemperature = sensors.front().critical;
    }
    facts.logicalBlockSize = device.logicalBlockSize;
    facts.logicalBlocks = device.sectors * 512 / device.logicalBlockSize;
    facts.ata = device.bus == StorageBus::Sata || device.bus == StorageBus::Pata;
    if (facts.ata) {
        facts.identify = AtaIdentity{facts.product, printable(device.serial), facts.revision,
                                     readAtaIdentify(device)};
        facts.ataSectors = device.sectors;
    }
    return facts;
}

std::u16string multiText(const std::vector<std::u16string>& texts) {
    std::u16string joined;
    for (const auto& text : texts) {
        joined += text;
        joined.push_back(0);
    }
    return joined;
}

DEVINST devInstFor(std::u16string_view instanceId) {
    std::uint32_t hash = 2166136261u;
    for (const char16_t c : instanceId) {
        hash ^= asciiUpper(c);
        hash *= 16777619u;
    }
    return (hash & 0x7FFFFFFEu) | 0x2u; // never 0 (no node) nor the root's 1
}

} // namespace

DiskFacts diskFacts(const BlockDevice& device, const DeviceNumberFacts& number) {
    DiskFacts disk;
    disk.deviceNumber = number;
    disk.descriptor = deviceDescriptor(device);
    const std::vector<TemperatureSensor> sensors = readDriveTemperatures(device);
    disk.temperatures = temperatureDescriptor(sensors);
    if (device.sectors > 0) { // else no medium
        disk.length = device.sectors * 512;
        // The translated geometry BIOSes use; the driver's own, where it reports one, refines it.
        const std::uint32_t heads = device.cdrom ? 64 : 255;
        const std::uint32_t perTrack = device.cdrom ? 32 : 63;
        disk.geometry = GeometryFacts{
            device.sectors * 512 / (std::uint64_t{heads} * perTrack * device.logicalBlockSize),
            device.removable || device.cdrom ? std::uint32_t{RemovableMedia}
                                             : std::uint32_t{FixedMedia},
            heads, perTrack, device.logicalBlockSize};
    }
    disk.drive = driveFacts(device, sensors);
    return disk;
}

DeviceFacts deviceFacts(const BlockDevice& disk) {
    const std::string instanceId = deviceInstanceId(disk);
    const std::string deviceId = instanceId.substr(0, instanceId.rfind('\\'));
    const std::string enumerator(enumeratorName(disk.bus));
    DeviceFacts device;
    device.instanceId = utf8ToUtf16(instanceId);
    device.hasInterface = true;
    device.interfacePath = utf8ToUtf16(diskInterfacePath(instanceId));
    device.node = devInstFor(*device.instanceId);
    // Disks are never hidden from the device manager nor moved.
    device.status = kStartedDiskStatus | (disk.removable ? kRemovableStatus : 0);
    device.properties = {
        {SPDRP_DEVICEDESC, registryText(u"Disk drive")},
        {SPDRP_FRIENDLYNAME, registryText(utf8ToUtf16(friendlyName(disk)))},
        {SPDRP_ENUMERATOR_NAME, registryText(utf8ToUtf16(enumerator))},
        {kSpdrpHardwareId, registryText(multiText({utf8ToUtf16(deviceId),
                                                   utf8ToUtf16(enumerator + "\\Disk"), u"GenDisk"}),
                                        REG_MULTI_SZ)},
        {kSpdrpService, registryText(u"disk")},
        {kSpdrpClass, registryText(u"DiskDrive")},
        {kSpdrpClassGuid, registryText(u"{4d36e967-e325-11ce-bfc1-08002be10318}")},
        {kSpdrpMfg, registryText(u"(Standard disk drives)")},
    };
    return device;
}

} // namespace platform
