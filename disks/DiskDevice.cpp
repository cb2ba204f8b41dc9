#include "disks/DiskDevice.h"

#include "platform/Hot.h"
#include "platform/Win32.h"

#include <climits>
#include <cmath>

namespace systemmonitor {
namespace {

constexpr double kBytesToMegabytes = 9.5367431640625e-7; // 2^-20

// used / total as a whole percent, truncated toward zero. A volume of size 0 reports 0.
int percentUsed(double usedMB, double totalMB) {
    if (!(totalMB > 0.0)) {
        return 0;
    }
    const double percent = usedMB / totalMB * 100.0;
    if (!std::isfinite(percent) || percent >= static_cast<double>(INT_MAX)) {
        return percent < 0 ? 0 : INT_MAX;
    }
    return static_cast<int>(percent);
}

} // namespace

DiskDevice::DiskDevice(const libOSWindows::WindowsDevice& device) : device_(device) {}

const qel::String& DiskDevice::modelNumber() const {
    return model_;
}

const qel::String& DiskDevice::serialNumber() const {
    return serial_;
}

const qel::String& DiskDevice::firmwareRevision() const {
    return firmware_;
}

bool DiskDevice::isSameDevice(const libOSWindows::WindowsDevice& device) const {
    return device_.instanceId == device.instanceId;
}

libOSWindows::WindowsDrive& DiskDevice::drive() {
    return drive_;
}

qel::FileHandle DiskDevice::openDevice() {
    qel::CreateFileOpenArgs args;
    args.fileName = device_.devicePath;
    args.desiredAccess = 0xC0000000; // read and write
    args.shareMode = 3;              // shared reading and writing
    void* const opened = qel::FileHandleResManager::open(args);
    if (opened == INVALID_HANDLE_VALUE) {
        return qel::FileHandle();
    }
    qel::FileHandle handle(opened);
    drive_.open(handle);
    return handle;
}

SM_HOT void DiskDevice::addDeviceNode(NodePointer& parent) {
    qel::String name = device_.friendlyName;
    if (name.size() == 0) {
        name = device_.description;
    }
    if (name.size() == 0) {
        name = modelNumber();
    }
    name.trim();
    // Texts made once: a snapshot only copies them.
    static const qel::String kKeyPrefix("DISK:");
    static const qel::String kModel("ModelNumber");
    static const qel::String kSerial("SerialNumber");
    static const qel::String kFirmware("FirmwareRevision");
    static const qel::String kTemperature("TemperatureCelsius");
    static const qel::String kTotal("TotalCapacityMB");
    NodePointer node = makeNode(DISK, name, kKeyPrefix + device_.instanceId);
    addTextProperty(node, kModel, modelNumber());
    addTextProperty(node, kSerial, serialNumber());
    addTextProperty(node, kFirmware, firmwareRevision());
    int celsius = 0;
    if (temperatureCelsius(celsius)) {
        addIntegerProperty(node, kTemperature, celsius);
    }
    const double size = static_cast<double>(drive_.getSize());
    if (size > 0.0) {
        addRealProperty(node, kTotal, size * kBytesToMegabytes);
    }
    const qel::Array<libOSWindows::Volume>& volumes = drive_.getVolumes();
    for (std::uint32_t i = 0; i < volumes.size(); ++i) {
        addVolumeNode(node, volumes[i]);
    }
    parent->addChildDevice(node);
}

SM_HOT void addVolumeNode(NodePointer& diskNode, const libOSWindows::Volume& volume) {
    qel::String name;
    if (volume.label.size() != 0) {
        name += volume.label;
        name += " - ";
    }
    const char16_t letterUnit =
        static_cast<char16_t>(static_cast<unsigned char>(volume.driveLetter));
    const qel::String letter(&letterUnit, 1);
    name += letter;
    name += u':';
    static const qel::String kKeyPrefix("VOLUME:");
    static const qel::String kLetter("DriveLetter");
    static const qel::String kName("Name");
    static const qel::String kSerial("SerialNumber");
    static const qel::String kTotal("TotalCapacityMB");
    static const qel::String kUsed("UsedCapacityMB");
    static const qel::String kPercentUsed("PercentCapacityUsed");
    NodePointer node = makeNode(VOLUME, name, kKeyPrefix + letter);
    const double totalMB = static_cast<double>(volume.totalBytes) * kBytesToMegabytes;
    const double usedMB = static_cast<double>(volume.usedBytes) * kBytesToMegabytes;
    addTextProperty(node, kLetter, letter);
    addTextProperty(node, kName, volume.label);
    addTextProperty(node, kSerial, volume.serialNumber);
    addRealProperty(node, kTotal, totalMB);
    addRealProperty(node, kUsed, usedMB);
    addIntegerProperty(node, kPercentUsed, percentUsed(usedMB, totalMB));
    diskNode->addChildDevice(node);
}

} // namespace systemmonitor
