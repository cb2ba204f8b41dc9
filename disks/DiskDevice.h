#pragma once
// One physical disk of the plug-and-play disk-drive class, kept for the life of the process. It
// opens its device once, keeps its identity texts, and re-reads temperature and volume figures
// when refreshed. Not a tree node itself: it builds its node on every snapshot.

#include "devicetree/PropertyAdders.h"
#include "foundation/FileHandleResManager.h"
#include "foundation/String.h"
#include "libOSWindows/Volume.h"
#include "libOSWindows/WindowsDevice.h"
#include "libOSWindows/WindowsDrive.h"

namespace systemmonitor {

class DiskDevice {
public:
    virtual ~DiskDevice() = default;
    DiskDevice(const DiskDevice&) = delete;
    DiskDevice& operator=(const DiskDevice&) = delete;

    virtual const qel::String& modelNumber() const;
    virtual const qel::String& serialNumber() const;
    virtual const qel::String& firmwareRevision() const;
    // The last successful reading; false (and `celsius` untouched) when the last reading failed
    // or none was made. Never queries the device.
    virtual bool temperatureCelsius(int& celsius) const = 0;
    // Re-reads the temperature and the volume information; never reopens the device.
    virtual void refresh(const libOSWindows::WindowsDevice& device) = 0;
    // Exact, case-sensitive comparison of instance identifiers.
    virtual bool isSameDevice(const libOSWindows::WindowsDevice& device) const;
    virtual libOSWindows::WindowsDrive& drive();
    // Builds the disk's node with one child per volume and attaches it to `parent` last.
    virtual void addDeviceNode(NodePointer& parent);

protected:
    explicit DiskDevice(const libOSWindows::WindowsDevice& device);

    // Opens the device path for reading and writing; when it opens, the drive record shares the
    // handle. The returned owner is empty when the device does not open.
    qel::FileHandle openDevice();

    qel::String model_;
    qel::String serial_;
    qel::String firmware_;
    libOSWindows::WindowsDrive drive_;
    libOSWindows::WindowsDevice device_;
};

// One volume node under `diskNode`.
void addVolumeNode(NodePointer& diskNode, const libOSWindows::Volume& volume);

} // namespace systemmonitor
