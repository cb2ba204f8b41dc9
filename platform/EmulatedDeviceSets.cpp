// The plug-and-play database: the disk-drive setup class, the disk interface class, device
// registry properties and device nodes.

#include "platform/StorageEmulator.h"

#include "platform/BufferAnswer.h"
#include "platform/EmulatedRequests.h"
#include "platform/WideText.h"

#include <cstddef>
#include <cstring>

namespace platform {
namespace {

using emulated::answered;
using emulated::fail;

constexpr CONFIGRET kCrInvalidPointer = 0x03;
constexpr CONFIGRET kCrInvalidDevnode = 0x05;
// Node 1 is the root of the device tree, which an empty instance id locates, as on Windows.
constexpr DEVINST kRootDevInst = 1;
constexpr ULONG kRootStatus = 0x0180000A; // started, driver loaded, cannot be removed
constexpr DWORD kInterfaceActive = 0x1;   // SPINT_ACTIVE

// A set member handed out by SetupDiEnumDeviceInfo or SetupDiEnumDeviceInterfaces keeps its
// index plus one in the structure's Reserved field.
std::optional<std::size_t> memberIndex(ULONG_PTR reserved, std::size_t size) {
    if (reserved == 0 || reserved > size) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(reserved) - 1;
}

void describe(SP_DEVINFO_DATA& data, const DeviceFacts& device, std::size_t index) {
    data.ClassGuid = win32::GUID_DEVCLASS_DISKDRIVE;
    data.DevInst = device.node;
    data.Reserved = static_cast<ULONG_PTR>(index) + 1;
}

} // namespace

RegistryValue registryText(std::u16string_view text, std::uint32_t type) {
    RegistryValue value{type, std::vector<std::uint8_t>((text.size() + 1) * 2, 0)};
    for (std::size_t i = 0; i < text.size(); ++i) {
        value.data[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        value.data[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    return value;
}

std::shared_ptr<const StorageEmulator::DeviceSet> StorageEmulator::findSet(HDEVINFO set) const {
    std::lock_guard lock(tables_->mutex);
    const auto it = tables_->sets.find(reinterpret_cast<std::uintptr_t>(set));
    if (it == tables_->sets.end()) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

namespace {

// The member that `data` names, or null (ERROR_INVALID_PARAMETER set).
template <typename Set>
const DeviceFacts* memberOf(const Set& set, const SP_DEVINFO_DATA* data,
                            std::size_t* index = nullptr) {
    const auto member = data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)
                            ? std::nullopt
                            : memberIndex(data->Reserved, set.devices.size());
    if (!member) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (index != nullptr) {
        *index = *member;
    }
    return set.devices[*member];
}

} // namespace

HDEVINFO StorageEmulator::setupDiGetClassDevs(const GUID* classGuid, DWORD flags) {
    const bool allClasses = (flags & DIGCF_ALLCLASSES) != 0;
    if (classGuid == nullptr && !allClasses) {
        setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<DeviceSet>();
    set->interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
    // Every device is present and of the disk-drive class; any other class is empty.
    const bool wanted =
        allClasses || win32::sameGuid(*classGuid, set->interfaces ? win32::GUID_DEVINTERFACE_DISK
                                                                  : win32::GUID_DEVCLASS_DISKDRIVE);
    if (wanted) {
        set->facts = storageFacts();
        for (const DeviceFacts& device : set->facts->devices) {
            if (!set->interfaces || device.hasInterface) {
                set->devices.push_back(&device);
            }
        }
    }
    std::lock_guard lock(tables_->mutex);
    const HANDLE handle = tables_->newHandle();
    tables_->sets.emplace(reinterpret_cast<std::uintptr_t>(handle), std::move(set));
    ++tables_->setsCreated;
    setLastError(ERROR_SUCCESS);
    return handle;
}

BOOL StorageEmulator::setupDiDestroyDeviceInfoList(HDEVINFO set) {
    std::shared_ptr<const DeviceSet> destroyed; // released outside the lock
    std::lock_guard lock(tables_->mutex);
    const auto it = tables_->sets.find(reinterpret_cast<std::uintptr_t>(set));
    if (it == tables_->sets.end()) {
        ++tables_->invalidSetDestroys;
        return fail(ERROR_INVALID_HANDLE);
    }
    destroyed = std::move(it->second);
    tables_->sets.erase(it);
    ++tables_->setsDestroyed;
    return TRUE;
}

BOOL StorageEmulator::setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    const auto devices = findSet(set);
    if (!devices) {
        return FALSE;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return fail(kErrorInvalidUserBuffer);
    }
    if (index >= devices->devices.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    describe(*data, *devices->devices[index], index);
    return TRUE;
}

BOOL StorageEmulator::setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                  const GUID* interfaceClass, DWORD index,
                                                  SP_DEVICE_INTERFACE_DATA* interfaceData) {
    const auto devices = findSet(set);
    if (!devices) {
        return FALSE;
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return fail(kErrorInvalidUserBuffer);
    }
    if (interfaceClass == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // A device has at most one disk interface: with a device given, only index 0 exists;
    // without, the index counts the interfaces of the whole set. A null path has none.
    std::size_t member = 0;
    bool found = false;
    if (data != nullptr) {
        if (memberOf(*devices, data, &member) == nullptr) {
            return FALSE;
        }
        found = index == 0 && devices->devices[member]->interfacePath.has_value();
    } else {
        std::size_t seen = 0;
        for (std::size_t i = 0; !found && i < devices->devices.size(); ++i) {
            if (devices->devices[i]->interfacePath && seen++ == index) {
                member = i;
                found = true;
            }
        }
    }
    if (!found || !devices->interfaces ||
        !win32::sameGuid(*interfaceClass, win32::GUID_DEVINTERFACE_DISK)) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    interfaceData->InterfaceClassGuid = *interfaceClass;
    interfaceData->Flags = kInterfaceActive;
    interfaceData->Reserved = static_cast<ULONG_PTR>(member) + 1;
    return TRUE;
}

BOOL StorageEmulator::setupDiGetDeviceInterfaceDetail(HDEVINFO set,
                                                      SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                      DWORD size, DWORD* required,
                                                      SP_DEVINFO_DATA* data) {
    const auto devices = findSet(set);
    if (!devices) {
        return FALSE;
    }
    const auto member =
        interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)
            ? std::nullopt
            : memberIndex(interfaceData->Reserved, devices->devices.size());
    if (!member || !devices->devices[*member]->interfacePath) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const DeviceFacts& device = *devices->devices[*member];
    const std::u16string& path = *device.interfacePath;
    // The fixed part is the 4-byte cbSize; the zero-terminated path follows it.
    constexpr std::size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const auto needed = static_cast<DWORD>(kPathOffset + (path.size() + 1) * sizeof(char16_t));
    if (detail == nullptr
            ? size != 0
            : size < sizeof(DWORD) || detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return fail(kErrorInvalidUserBuffer);
    }
    if (required != nullptr) {
        *required = needed;
    }
    if (size < needed) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (data != nullptr) {
        if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
            return fail(kErrorInvalidUserBuffer);
        }
        describe(*data, device, *member);
    }
    auto* bytes = reinterpret_cast<std::uint8_t*>(detail) + kPathOffset;
    std::memcpy(bytes, path.data(), path.size() * sizeof(char16_t));
    std::memset(bytes + path.size() * sizeof(char16_t), 0, sizeof(char16_t));
    return TRUE;
}

BOOL StorageEmulator::setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                       DWORD property, DWORD* registryType,
                                                       BYTE* buffer, DWORD size, DWORD* required) {
    const auto devices = findSet(set);
    if (!devices) {
        return FALSE;
    }
    const DeviceFacts* device = memberOf(*devices, data);
    if (device == nullptr) {
        return FALSE;
    }
    const auto value = device->properties.find(property);
    if (value == device->properties.end()) {
        return fail(ERROR_INVALID_DATA); // the property is not set for this device
    }
    if (registryType != nullptr && (buffer != nullptr || size == 0)) {
        *registryType = value->second.type;
    }
    const auto& bytes = value->second.data;
    const DWORD error =
        answerWithRequiredSize(bytes.data(), bytes.size(), 1, buffer, size, required);
    return answered(error);
}

BOOL StorageEmulator::setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id,
                                                 DWORD size, DWORD* required) {
    const auto devices = findSet(set);
    if (!devices) {
        return FALSE;
    }
    const DeviceFacts* device = memberOf(*devices, data);
    if (device == nullptr) {
        return FALSE;
    }
    if (!device->instanceId) {
        return fail(ERROR_INVALID_DATA);
    }
    const std::u16string& text = *device->instanceId; // sent with its zero
    const DWORD error =
        answerWithRequiredSize(text.c_str(), text.size() + 1, sizeof(char16_t), id, size, required);
    return answered(error);
}

CONFIGRET StorageEmulator::cmLocateDevNode(DEVINST* node, const char16_t* instanceId,
                                           ULONG /*flags*/) {
    if (node == nullptr) {
        return kCrInvalidPointer;
    }
    *node = 0;
    const std::u16string_view wanted = wideView(instanceId);
    if (wanted.empty()) {
        *node = kRootDevInst;
        return CR_SUCCESS;
    }
    for (const DeviceFacts& device : storageFacts()->devices) {
        if (device.node != 0 && device.instanceId && equalsNoCase(*device.instanceId, wanted)) {
            *node = device.node;
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET StorageEmulator::cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                              ULONG /*flags*/) {
    if (status == nullptr || problem == nullptr) {
        return kCrInvalidPointer;
    }
    if (node == 0) {
        return kCrInvalidDevnode;
    }
    if (node == kRootDevInst) {
        *status = kRootStatus;
        *problem = 0;
        return CR_SUCCESS;
    }
    for (const DeviceFacts& device : storageFacts()->devices) {
        if (device.node == node) {
            if (!device.status) {
                return CR_FAILURE;
            }
            *status = *device.status;
            *problem = 0;
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

} // namespace platform
