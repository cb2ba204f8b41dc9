#include "platform/linux/LinuxSetupApi.h"

#include "platform/BufferAnswer.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/SysBlock.h"
#include "platform/linux/WideText.h"
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
constexpr DWORD kSpintActive = 0x1;
constexpr CONFIGRET kCrInvalidPointer = 0x3;
constexpr CONFIGRET kCrInvalidDevnode = 0x5;
constexpr DEVINST kRootDevInst = 1;
// DN_DRIVER_LOADED | DN_STARTED | DN_DISABLEABLE | DN_NT_ENUMERATOR | DN_NT_DRIVER: a started disk.
constexpr ULONG kStartedDiskStatus = 0x0180200A;
constexpr ULONG kRemovableStatus = 0x00004000; // DN_REMOVABLE

BOOL fail(DWORD error) {
    setLastError(error);
    return FALSE;
}

DEVINST devInstFor(std::u16string_view instanceId) {
    std::uint32_t hash = 2166136261u;
    for (const char16_t c : instanceId) {
        hash ^= asciiUpper(c);
        hash *= 16777619u;
    }
    return (hash & 0x7FFFFFFEu) | 0x2u; // never 0 (no node) nor the root's 1
}

std::vector<std::u16string> hardwareIdsFor(const BlockDevice& device,
                                           const std::string& instanceId) {
    const std::string deviceId = instanceId.substr(0, instanceId.rfind('\\'));
    const std::string enumerator(enumeratorName(device.bus));
    return {utf8ToUtf16(deviceId), utf8ToUtf16(enumerator + "\\Disk"), u"GenDisk"};
}

} // namespace

struct LinuxSetupApi::DeviceSet {
    bool interfaces = false; // built with DIGCF_DEVICEINTERFACE for the disk interface class
    std::vector<DeviceEntry> devices;

    const DeviceEntry* entry(ULONG_PTR reserved) const {
        return reserved >= 1 && reserved <= devices.size() ? &devices[reserved - 1] : nullptr;
    }
};

namespace {

using Set = LinuxSetupApi::DeviceSet;
using Entry = LinuxSetupApi::DeviceEntry;

// The device an SP_DEVINFO_DATA from this set stands for; null (with the error set) otherwise.
const Entry* deviceOf(const Set& set, const SP_DEVINFO_DATA* data) {
    if (data == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        setLastError(kErrorInvalidUserBuffer);
        return nullptr;
    }
    const Entry* entry = set.entry(data->Reserved);
    if (entry == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
    }
    return entry;
}

void fillDeviceData(SP_DEVINFO_DATA& data, const Entry& entry, std::size_t index) {
    data.ClassGuid = win32::GUID_DEVCLASS_DISKDRIVE;
    data.DevInst = entry.devInst;
    data.Reserved = index + 1;
}

} // namespace

LinuxSetupApi::LinuxSetupApi(std::filesystem::path sys) : sys_(std::move(sys)) {}

LinuxSetupApi::~LinuxSetupApi() = default;

std::vector<LinuxSetupApi::DeviceEntry> LinuxSetupApi::disks() const {
    std::vector<DeviceEntry> entries;
    for (const BlockDevice& disk : scanBlockInventory(sys_).disks) {
        DeviceEntry entry;
        const std::string instanceId = deviceInstanceId(disk);
        entry.instanceId = utf8ToUtf16(instanceId);
        entry.interfacePath = utf8ToUtf16(diskInterfacePath(instanceId));
        entry.friendlyName = utf8ToUtf16(friendlyName(disk));
        entry.enumerator = utf8ToUtf16(enumeratorName(disk.bus));
        entry.hardwareIds = hardwareIdsFor(disk, instanceId);
        entry.devInst = devInstFor(entry.instanceId);
        entry.removable = disk.removable;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::shared_ptr<LinuxSetupApi::DeviceSet> LinuxSetupApi::find(HDEVINFO set) const {
    std::lock_guard lock(mutex_);
    const auto it = sets_.find(set);
    return it == sets_.end() ? nullptr : it->second;
}

std::size_t LinuxSetupApi::openSetCount() const {
    std::lock_guard lock(mutex_);
    return sets_.size();
}

HDEVINFO LinuxSetupApi::getClassDevs(const GUID* classGuid, DWORD flags) {
    const bool allClasses = (flags & DIGCF_ALLCLASSES) != 0;
    if (classGuid == nullptr && !allClasses) {
        setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<DeviceSet>();
    set->interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
    const GUID& wanted =
        set->interfaces ? win32::GUID_DEVINTERFACE_DISK : win32::GUID_DEVCLASS_DISKDRIVE;
    // Every listed disk is present, so DIGCF_PRESENT changes nothing; other classes are empty.
    if (allClasses || win32::sameGuid(*classGuid, wanted)) {
        set->devices = disks();
    }
    std::lock_guard lock(mutex_);
    // Fresh values, never reused: a destroyed set's handle stays invalid.
    nextHandle_ += 4;
    const auto handle = reinterpret_cast<HDEVINFO>(nextHandle_);
    sets_.emplace(handle, std::move(set));
    setLastError(ERROR_SUCCESS);
    return handle;
}

BOOL LinuxSetupApi::enumDeviceInfo(HDEVINFO handle, DWORD index, SP_DEVINFO_DATA* data) {
    const auto set = find(handle);
    if (!set) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (data == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return fail(kErrorInvalidUserBuffer);
    }
    if (index >= set->devices.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    fillDeviceData(*data, set->devices[index], index);
    return TRUE;
}

BOOL LinuxSetupApi::enumDeviceInterfaces(HDEVINFO handle, SP_DEVINFO_DATA* data,
                                         const GUID* interfaceClass, DWORD index,
                                         SP_DEVICE_INTERFACE_DATA* interfaceData) {
    const auto set = find(handle);
    if (!set) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (interfaceClass == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return fail(kErrorInvalidUserBuffer);
    }
    std::size_t device = index;
    if (data != nullptr) {
        const Entry* entry = deviceOf(*set, data);
        if (entry == nullptr) {
            return FALSE;
        }
        // One disk interface per disk.
        device = index == 0 ? data->Reserved - 1 : set->devices.size();
    }
    if (!set->interfaces || !win32::sameGuid(*interfaceClass, win32::GUID_DEVINTERFACE_DISK) ||
        device >= set->devices.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    interfaceData->InterfaceClassGuid = win32::GUID_DEVINTERFACE_DISK;
    interfaceData->Flags = kSpintActive;
    interfaceData->Reserved = device + 1;
    return TRUE;
}

BOOL LinuxSetupApi::getDeviceInterfaceDetail(HDEVINFO handle,
                                             SP_DEVICE_INTERFACE_DATA* interfaceData,
                                             SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                             DWORD* required, SP_DEVINFO_DATA* data) {
    const auto set = find(handle);
    if (!set) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        set->entry(interfaceData->Reserved) == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if ((detail != nullptr && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) ||
        (detail == nullptr && size != 0) ||
        (data != nullptr && data->cbSize != sizeof(SP_DEVINFO_DATA))) {
        return fail(kErrorInvalidUserBuffer);
    }
    const std::size_t index = interfaceData->Reserved - 1;
    const Entry& entry = set->devices[index];
    constexpr std::size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const std::size_t needed = pathOffset + (entry.interfacePath.size() + 1) * sizeof(char16_t);
    if (required != nullptr) {
        *required = static_cast<DWORD>(needed);
    }
    if (data != nullptr) {
        fillDeviceData(*data, entry, index);
    }
    if (size < needed) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    auto* path = reinterpret_cast<std::uint8_t*>(detail) + pathOffset;
    std::memcpy(path, entry.interfacePath.c_str(),
                (entry.interfacePath.size() + 1) * sizeof(char16_t));
    return TRUE;
}

BOOL LinuxSetupApi::getDeviceRegistryProperty(HDEVINFO handle, SP_DEVINFO_DATA* data,
                                              DWORD property, DWORD* registryType, BYTE* buffer,
                                              DWORD size, DWORD* required) {
    const auto set = find(handle);
    if (!set) {
        return fail(ERROR_INVALID_HANDLE);
    }
    const Entry* entry = deviceOf(*set, data);
    if (entry == nullptr) {
        return FALSE;
    }
    DWORD type = REG_SZ;
    std::u16string value;
    switch (property) {
    case SPDRP_DEVICEDESC:
        value = u"Disk drive";
        break;
    case SPDRP_FRIENDLYNAME:
        value = entry->friendlyName;
        break;
    case SPDRP_ENUMERATOR_NAME:
        value = entry->enumerator;
        break;
    case kSpdrpHardwareId:
        type = REG_MULTI_SZ;
        for (const auto& id : entry->hardwareIds) {
            value += id;
            value.push_back(0);
        }
        break;
    case kSpdrpService:
        value = u"disk";
        break;
    case kSpdrpClass:
        value = u"DiskDrive";
        break;
    case kSpdrpClassGuid:
        value = u"{4d36e967-e325-11ce-bfc1-08002be10318}";
        break;
    case kSpdrpMfg:
        value = u"(Standard disk drives)";
        break;
    default:
        return fail(ERROR_INVALID_DATA); // the device has no such property
    }
    value.push_back(0);
    const std::size_t needed = value.size() * sizeof(char16_t);
    if (registryType != nullptr) {
        *registryType = type;
    }
    const DWORD error = answerWithRequiredSize(value.data(), needed, 1, buffer, size, required);
    return error == 0 ? TRUE : fail(error);
}

BOOL LinuxSetupApi::getDeviceInstanceId(HDEVINFO handle, SP_DEVINFO_DATA* data, char16_t* id,
                                        DWORD size, DWORD* required) {
    const auto set = find(handle);
    if (!set) {
        return fail(ERROR_INVALID_HANDLE);
    }
    const Entry* entry = deviceOf(*set, data);
    if (entry == nullptr) {
        return FALSE;
    }
    const DWORD error =
        answerWithRequiredSize(entry->instanceId.c_str(), entry->instanceId.size() + 1,
                               sizeof(char16_t), id, size, required);
    return error == 0 ? TRUE : fail(error);
}

BOOL LinuxSetupApi::destroyDeviceInfoList(HDEVINFO handle) {
    std::shared_ptr<DeviceSet> destroyed;
    std::lock_guard lock(mutex_);
    const auto it = sets_.find(handle);
    if (it == sets_.end()) {
        return fail(ERROR_INVALID_HANDLE);
    }
    destroyed = std::move(it->second);
    sets_.erase(it);
    return TRUE;
}

CONFIGRET LinuxSetupApi::locateDevNode(DEVINST* node, const char16_t* instanceId, ULONG /*flags*/) {
    if (node == nullptr) {
        return kCrInvalidPointer;
    }
    *node = 0;
    const std::u16string_view wanted = wideView(instanceId);
    if (wanted.empty()) {
        *node = kRootDevInst; // no identifier: the root of the device tree
        return CR_SUCCESS;
    }
    for (const auto& disk : disks()) {
        if (equalsNoCase(disk.instanceId, wanted)) {
            *node = disk.devInst;
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET LinuxSetupApi::getDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                          ULONG /*flags*/) {
    if (status == nullptr || problem == nullptr) {
        return kCrInvalidPointer;
    }
    if (node == 0) {
        return kCrInvalidDevnode;
    }
    if (node == kRootDevInst) {
        *status = kStartedDiskStatus & ~ULONG{0x2000};
        *problem = 0;
        return CR_SUCCESS;
    }
    for (const auto& disk : disks()) {
        if (disk.devInst == node) {
            // Disks are never hidden from the device manager nor moved.
            *status = kStartedDiskStatus | (disk.removable ? kRemovableStatus : 0);
            *problem = 0;
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

// Never destroyed, like the rest of the live machine: see liveStorage().
LinuxSetupApi& liveSetupApi() {
    static LinuxSetupApi* const setupApi = new LinuxSetupApi;
    return *setupApi;
}

HDEVINFO LinuxBackend::setupDiGetClassDevs(const GUID* classGuid, DWORD flags) {
    return liveSetupApi().getClassDevs(classGuid, flags);
}

BOOL LinuxBackend::setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    return liveSetupApi().enumDeviceInfo(set, index, data);
}

BOOL LinuxBackend::setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                               const GUID* interfaceClass, DWORD index,
                                               SP_DEVICE_INTERFACE_DATA* interfaceData) {
    return liveSetupApi().enumDeviceInterfaces(set, data, interfaceClass, index, interfaceData);
}

BOOL LinuxBackend::setupDiGetDeviceInterfaceDetail(HDEVINFO set,
                                                   SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                   SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                   DWORD size, DWORD* required,
                                                   SP_DEVINFO_DATA* data) {
    return liveSetupApi().getDeviceInterfaceDetail(set, interfaceData, detail, size, required,
                                                   data);
}

BOOL LinuxBackend::setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                    DWORD property, DWORD* registryType,
                                                    BYTE* buffer, DWORD size, DWORD* required) {
    return liveSetupApi().getDeviceRegistryProperty(set, data, property, registryType, buffer, size,
                                                    required);
}

BOOL LinuxBackend::setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id,
                                              DWORD size, DWORD* required) {
    return liveSetupApi().getDeviceInstanceId(set, data, id, size, required);
}

BOOL LinuxBackend::setupDiDestroyDeviceInfoList(HDEVINFO set) {
    return liveSetupApi().destroyDeviceInfoList(set);
}

CONFIGRET LinuxBackend::cmLocateDevNode(DEVINST* node, const char16_t* instanceId, ULONG flags) {
    return liveSetupApi().locateDevNode(node, instanceId, flags);
}

CONFIGRET LinuxBackend::cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                           ULONG flags) {
    return liveSetupApi().getDevNodeStatus(status, problem, node, flags);
}

} // namespace platform
