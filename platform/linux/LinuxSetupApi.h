#pragma once
// The plug-and-play listing of the live Linux machine: the disk-drive setup class and the disk
// device interface class, both holding the whole disks under /sys/block (see SysBlock.h for which
// and how they are named). Device sets are owned objects that must be destroyed.

#include "platform/Win32.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class LinuxSetupApi {
public:
    explicit LinuxSetupApi(std::filesystem::path sys = "/sys");
    ~LinuxSetupApi();
    LinuxSetupApi(const LinuxSetupApi&) = delete;
    LinuxSetupApi& operator=(const LinuxSetupApi&) = delete;

    HDEVINFO getClassDevs(const GUID* classGuid, DWORD flags);
    BOOL enumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
    BOOL enumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data, const GUID* interfaceClass,
                              DWORD index, SP_DEVICE_INTERFACE_DATA* interfaceData);
    BOOL getDeviceInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                  DWORD* required, SP_DEVINFO_DATA* data);
    BOOL getDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                   DWORD* registryType, BYTE* buffer, DWORD size, DWORD* required);
    BOOL getDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id, DWORD size,
                             DWORD* required);
    BOOL destroyDeviceInfoList(HDEVINFO set);
    CONFIGRET locateDevNode(DEVINST* node, const char16_t* instanceId, ULONG flags);
    CONFIGRET getDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node, ULONG flags);

    std::size_t openSetCount() const;

    struct DeviceEntry {
        std::u16string instanceId;
        std::u16string interfacePath;
        std::u16string friendlyName;
        std::u16string enumerator;
        std::vector<std::u16string> hardwareIds;
        DEVINST devInst = 0;
        bool removable = false;
    };
    struct DeviceSet;

private:
    std::vector<DeviceEntry> disks() const;
    std::shared_ptr<DeviceSet> find(HDEVINFO set) const;

    std::filesystem::path sys_;
    mutable std::mutex mutex_;
    std::map<HDEVINFO, std::shared_ptr<DeviceSet>> sets_;
    std::uintptr_t nextHandle_ = 0x5E70000;
};

// The listing of the live machine (/sys), created on first use.
LinuxSetupApi& liveSetupApi();

} // namespace platform
