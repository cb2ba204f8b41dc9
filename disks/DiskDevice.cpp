#include "disks/DiskDevice.h"

#include "foundation/SprintfFormat.h"
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

void DiskDevice::addDeviceNode(NodePointer& parent) {
    qel::String name = device_.friendlyName;
    if (name.size() == 0) {
        name = device_.description;
    }
    if (name.size() == 0) {
        name = modelNumber();
    }
    name.trim();
    NodePointer node = makeNode(DISK, name, "DISK:" + device_.instanceId);
    addTextProperty(node, "ModelNumber", modelNumber());
    addTextProperty(node, "SerialNumber", serialNumber());
    addTextProperty(node, "FirmwareRevision", firmwareRevision());
    int celsius = 0;
    if (temperatureCelsius(celsius)) {
        addIntegerProperty(node, "TemperatureCelsius", celsius);
    }
    const double size = static_cast<double>(drive_.getSize());
    if (size > 0.0) {
        addRealProperty(node, "TotalCapacityMB", size * kBytesToMegabytes);
    }
    const qel::Array<libOSWindows::Volume>& volumes = drive_.getVolumes();
    for (std::uint32_t i = 0; i < volumes.size(); ++i) {
        addVolumeNode(node, volumes[i]);
    }
    parent->addChildDevice(node);
}

void addVolumeNode(NodePointer& diskNode, const libOSWindows::Volume& volume) {
    qel::String name;
    if (volume.label.size() != 0) {
        name += volume.label;
        name += " - ";
    }
    name += qel::SprintfFormat(u"%c:", volume.driveLetter);
    const qel::String letter = qel::SprintfFormat("%c", volume.driveLetter);
    NodePointer node = makeNode(VOLUME, name, "VOLUME:" + letter);
    const double totalMB = static_cast<double>(volume.totalBytes) * kBytesToMegabytes;
    const double usedMB = static_cast<double>(volume.usedBytes) * kBytesToMegabytes;
    addTextProperty(node, "DriveLetter", letter);
    addTextProperty(node, "Name", volume.label);
    addTextProperty(node, "SerialNumber", volume.serialNumber);
    addRealProperty(node, "TotalCapacityMB", totalMB);
    addRealProperty(node, "UsedCapacityMB", usedMB);
    addIntegerProperty(node, "PercentCapacityUsed", percentUsed(usedMB, totalMB));
    diskNode->addChildDevice(node);
}

} // namespace systemmonitor
