// The plug-and-play database of the simulated machine: the disk-drive setup class, the disk
// interface class, device registry properties and device nodes.

#include "platform/simulated/SimulatedMachine.h"

#include "platform/BufferAnswer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace platform::simulated {
namespace {

constexpr CONFIGRET kCrInvalidPointer = 0x03;
// Device nodes are numbered from 2: node 1 is the root of the device tree, which an empty
// instance id locates, as on Windows.
constexpr DEVINST kRootDevInst = 1;
constexpr ULONG kRootStatus = 0x0180000A; // started, driver loaded, cannot be removed
constexpr DWORD kInterfaceActive = 0x1;   // SPINT_ACTIVE

// The member that SetupDiEnumDeviceInfo or SetupDiEnumDeviceInterfaces handed out, kept in the
// structure's Reserved field as its index plus one.
std::size_t memberIndex(ULONG_PTR reserved) {
    return static_cast<std::size_t>(reserved) - 1;
}

const RegistryValue* registryProperty(const DeviceState& device, DWORD property) {
    const std::optional<RegistryValue>* value = nullptr;
    switch (property) {
    case SPDRP_FRIENDLYNAME:
        value = &device.friendlyName;
        break;
    case SPDRP_DEVICEDESC:
        value = &device.description;
        break;
    case SPDRP_ENUMERATOR_NAME:
        value = &device.enumeratorName;
        break;
    default:
        return nullptr;
    }
    return value->has_value() ? &**value : nullptr;
}

} // namespace

SimulatedMachine::DeviceSet* SimulatedMachine::findSet(HDEVINFO set) {
    const auto it = sets_.find(reinterpret_cast<std::uintptr_t>(set));
    if (it == sets_.end()) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

const DeviceState* SimulatedMachine::memberOf(const DeviceSet& set, const SP_DEVINFO_DATA* data,
                                              std::size_t* index) {
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->Reserved == 0 ||
        memberIndex(data->Reserved) >= set.devices.size()) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (index != nullptr) {
        *index = memberIndex(data->Reserved);
    }
    return &set.devices[memberIndex(data->Reserved)];
}

HDEVINFO SimulatedMachine::setupDiGetClassDevs(const GUID* classGuid, DWORD flags) {
    const bool allClasses = (flags & DIGCF_ALLCLASSES) != 0;
    if (classGuid == nullptr && !allClasses) {
        setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DeviceSet set;
    set.interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
    // Every device is present and of the disk-drive class; any other class is empty.
    const bool wanted =
        allClasses || win32::sameGuid(*classGuid, set.interfaces ? win32::GUID_DEVINTERFACE_DISK
                                                                 : win32::GUID_DEVCLASS_DISKDRIVE);
    const auto& devices = state().devices;
    for (std::size_t i = 0; wanted && i < devices.size(); ++i) {
        if (!set.interfaces || devices[i].hasInterface) {
            set.devices.push_back(devices[i]);
            set.nodes.push_back(static_cast<DEVINST>(i + 1));
        }
    }
    const HANDLE handle = newHandleValue();
    sets_.emplace(reinterpret_cast<std::uintptr_t>(handle), std::move(set));
    ++setsCreated_;
    return handle;
}

BOOL SimulatedMachine::setupDiDestroyDeviceInfoList(HDEVINFO set) {
    if (sets_.erase(reinterpret_cast<std::uintptr_t>(set)) == 0) {
        ++invalidSetDestroys_;
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ++setsDestroyed_;
    return TRUE;
}

BOOL SimulatedMachine::setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    const DeviceSet* devices = findSet(set);
    if (devices == nullptr) {
        return FALSE;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        setLastError(kErrorInvalidUserBuffer);
        return FALSE;
    }
    if (index >= devices->devices.size()) {
        setLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->ClassGuid = win32::GUID_DEVCLASS_DISKDRIVE;
    data->DevInst = devices->nodes[index];
    data->Reserved = static_cast<ULONG_PTR>(index) + 1;
    return TRUE;
}

BOOL SimulatedMachine::setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                   const GUID* interfaceClass, DWORD index,
                                                   SP_DEVICE_INTERFACE_DATA* interfaceData) {
    const DeviceSet* devices = findSet(set);
    if (devices == nullptr) {
        return FALSE;
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        setLastError(kErrorInvalidUserBuffer);
        return FALSE;
    }
    if (interfaceClass == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A device has at most one disk interface: with a device given, only index 0 exists;
    // without, the index counts the interfaces of the whole set. A null path has none.
    std::size_t member = 0;
    bool found = false;
    if (data != nullptr) {
        if (memberOf(*devices, data, &member) == nullptr) {
            return FALSE;
        }
        found = index == 0 && devices->devices[member].interfacePath.has_value();
    } else {
        std::size_t seen = 0;
        for (std::size_t i = 0; !found && i < devices->devices.size(); ++i) {
            if (devices->devices[i].interfacePath && seen++ == index) {
                member = i;
                found = true;
            }
        }
    }
    if (!found || !devices->interfaces ||
        !win32::sameGuid(*interfaceClass, win32::GUID_DEVINTERFACE_DISK)) {
        setLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    interfaceData->InterfaceClassGuid = *interfaceClass;
    interfaceData->Flags = kInterfaceActive;
    interfaceData->Reserved = static_cast<ULONG_PTR>(member) + 1;
    return TRUE;
}

BOOL SimulatedMachine::setupDiGetDeviceInterfaceDetail(HDEVINFO set,
                                                       SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                       SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                       DWORD size, DWORD* required,
                                                       SP_DEVINFO_DATA* data) {
    const DeviceSet* devices = findSet(set);
    if (devices == nullptr) {
        return FALSE;
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        interfaceData->Reserved == 0 ||
        memberIndex(interfaceData->Reserved) >= devices->devices.size() ||
        !devices->devices[memberIndex(interfaceData->Reserved)].interfacePath) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::size_t member = memberIndex(interfaceData->Reserved);
    const std::u16string& path = *devices->devices[member].interfacePath;
    // The fixed part is the 4-byte cbSize; the zero-terminated path follows it.
    constexpr std::size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const auto needed = static_cast<DWORD>(kPathOffset + (path.size() + 1) * sizeof(char16_t));
    if (detail == nullptr
            ? size != 0
            : size < sizeof(DWORD) || detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        setLastError(kErrorInvalidUserBuffer);
        return FALSE;
    }
    if (required != nullptr) {
        *required = needed;
    }
    if (size < needed) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (data != nullptr) {
        if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
            setLastError(kErrorInvalidUserBuffer);
            return FALSE;
        }
        data->ClassGuid = win32::GUID_DEVCLASS_DISKDRIVE;
        data->DevInst = devices->nodes[member];
        data->Reserved = static_cast<ULONG_PTR>(member) + 1;
    }
    auto* bytes = reinterpret_cast<std::uint8_t*>(detail) + kPathOffset;
    std::memcpy(bytes, path.data(), path.size() * sizeof(char16_t));
    std::memset(bytes + path.size() * sizeof(char16_t), 0, sizeof(char16_t));
    return TRUE;
}

BOOL SimulatedMachine::setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                        DWORD property, DWORD* registryType,
                                                        BYTE* buffer, DWORD size, DWORD* required) {
    const DeviceSet* devices = findSet(set);
    if (devices == nullptr) {
        return FALSE;
    }
    const DeviceState* device = memberOf(*devices, data);
    if (device == nullptr) {
        return FALSE;
    }
    const RegistryValue* value = registryProperty(*device, property);
    if (value == nullptr) {
        setLastError(ERROR_INVALID_DATA); // the property is not set for this device
        return FALSE;
    }
    if (registryType != nullptr && (buffer != nullptr || size == 0)) {
        *registryType = value->type;
    }
    return answer(
        answerWithRequiredSize(value->data.data(), value->data.size(), 1, buffer, size, required));
}

BOOL SimulatedMachine::setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id,
                                                  DWORD size, DWORD* required) {
    const DeviceSet* devices = findSet(set);
    if (devices == nullptr) {
        return FALSE;
    }
    const DeviceState* device = memberOf(*devices, data);
    if (device == nullptr) {
        return FALSE;
    }
    if (!device->instanceId) {
        setLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const std::u16string& text = *device->instanceId; // sent with its zero
    return answer(answerWithRequiredSize(text.c_str(), text.size() + 1, sizeof(char16_t), id, size,
                                         required));
}

CONFIGRET SimulatedMachine::cmLocateDevNode(DEVINST* node, const char16_t* instanceId,
                                            ULONG /*flags*/) {
    if (node == nullptr) {
        return kCrInvalidPointer;
    }
    *node = 0;
    if (instanceId == nullptr || *instanceId == u'\0') {
        *node = kRootDevInst;
        return CR_SUCCESS;
    }
    const std::u16string_view wanted(instanceId);
    const auto& devices = state().devices;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].devnode && devices[i].instanceId && *devices[i].instanceId == wanted) {
            *node = static_cast<DEVINST>(i + 2);
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET SimulatedMachine::cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                               ULONG /*flags*/) {
    if (status == nullptr || problem == nullptr) {
        return kCrInvalidPointer;
    }
    if (node == kRootDevInst) {
        *status = kRootStatus;
        *problem = 0;
        return CR_SUCCESS;
    }
    const auto& devices = state().devices;
    if (node < 2 || node - 2 >= devices.size() || !devices[node - 2].devnode) {
        return CR_NO_SUCH_DEVNODE;
    }
    const auto& reported = devices[node - 2].devnode->status;
    if (!reported) {
        return CR_FAILURE;
    }
    *status = *reported;
    *problem = 0;
    return CR_SUCCESS;
}

} // namespace platform::simulated
