#include "libOSWindows/DeviceEnumeration.h"

#include <cstring>
#include <vector>

namespace libOSWindows {
namespace {

constexpr DWORD kRegistryBufferBytes = 2048;
constexpr DWORD kDetailBufferBytes = 2048;
constexpr DWORD kInstanceIdChars = 2048;
// No instance identifier is longer; a device claiming more is not believed.
constexpr DWORD kInstanceIdCharsLimit = 1u << 20;
constexpr DWORD kHiddenOrMoved = DN_NO_SHOW_IN_DM | DN_MOVED;

// Owns a device information set from the moment it exists.
class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    ~DeviceInfoSet() {
        if (valid()) {
            win32::SetupDiDestroyDeviceInfoList(set_);
        }
    }
    bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

qel::String boundedText(const char16_t* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length] != 0) {
        ++length;
    }
    return qel::String(text, length);
}

// The three registry texts, in the order they are read.
void readRegistryTexts(HDEVINFO set, SP_DEVINFO_DATA* data, WindowsDevice& record) {
    record.friendlyName = getDeviceRegistryText(set, data, SPDRP_FRIENDLYNAME);
    record.description = getDeviceRegistryText(set, data, SPDRP_DEVICEDESC);
    record.enumeratorName = getDeviceRegistryText(set, data, SPDRP_ENUMERATOR_NAME);
}

bool hiddenUnlessIncluded(const WindowsDevice& record, bool includeHidden) {
    if (includeHidden) {
        return false;
    }
    const DEVINST node = locateDeviceNode(record.instanceId);
    return node != 0 && isHiddenOrMoved(node);
}

} // namespace

void enumerateDiskDevices(qel::Array<WindowsDevice>& devices) {
    enumerateDevices(devices, &win32::GUID_DEVCLASS_DISKDRIVE, &win32::GUID_DEVINTERFACE_DISK,
                     false);
}

void enumerateDevices(qel::Array<WindowsDevice>& devices, const GUID* setupClass,
                      const GUID* interfaceClass, bool includeHidden) {
    InterfacePathTable interfacePaths;
    if (setupClass == nullptr && interfaceClass != nullptr) {
        collectInterfaceDevices(interfacePaths, interfaceClass, &devices, includeHidden);
        return;
    }
    collectInterfaceDevices(interfacePaths, interfaceClass, nullptr, includeHidden);

    const DeviceInfoSet set(
        win32::SetupDiGetClassDevsW(setupClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.valid()) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA data;
        std::memset(&data, 0, sizeof data);
        data.cbSize = sizeof(SP_DEVINFO_DATA);
        if (win32::SetupDiEnumDeviceInfo(set.get(), index, &data) == 0) {
            break;
        }
        WindowsDevice record;
        readRegistryTexts(set.get(), &data, record);
        qel::String id;
        if (getDeviceInstanceId(set.get(), &data, id)) {
            if (const qel::String* path = interfacePaths.lookup(id)) {
                record.devicePath = *path;
            }
        }
        record.instanceId = id;
        if (!hiddenUnlessIncluded(record, includeHidden)) {
            devices.append(record);
        }
    }
}

void collectInterfaceDevices(InterfacePathTable& interfacePaths, const GUID* interfaceClass,
                             qel::Array<WindowsDevice>* devices, bool includeHidden) {
    const DeviceInfoSet set(win32::SetupDiGetClassDevsW(interfaceClass, nullptr, nullptr,
                                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid()) {
        return;
    }
    SP_DEVINFO_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof(SP_DEVINFO_DATA);
    for (DWORD index = 0; win32::SetupDiEnumDeviceInfo(set.get(), index, &data) != 0; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData;
        std::memset(&interfaceData, 0, sizeof interfaceData);
        interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (win32::SetupDiEnumDeviceInterfaces(set.get(), &data, interfaceClass, 0,
                                               &interfaceData) == 0) {
            return; // the walk ends at the first device without an interface
        }
        alignas(8) unsigned char detailBuffer[kDetailBufferBytes] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        WindowsDevice record;
        qel::String path;
        DWORD required = 0;
        if (win32::SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail,
                                                    kDetailBufferBytes, &required, nullptr) != 0) {
            path = boundedText(
                win32::text(detail->DevicePath),
                (kDetailBufferBytes - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) /
                    sizeof(char16_t));
            if (devices != nullptr) {
                record.devicePath = path;
                readRegistryTexts(set.get(), &data, record);
            }
        }
        qel::String id;
        getDeviceInstanceId(set.get(), &data, id);
        if (path.size() != 0 && id.size() != 0) {
            interfacePaths.insert(id, path); // an identifier already present keeps its first path
            if (devices == nullptr) {
                continue;
            }
            record.instanceId = id;
        }
        if (devices != nullptr && !hiddenUnlessIncluded(record, includeHidden)) {
            devices->append(record);
        }
    }
}

bool getDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, qel::String& id) {
    char16_t buffer[kInstanceIdChars] = {};
    DWORD required = 0;
    if (win32::SetupDiGetDeviceInstanceIdW(set, data, buffer, kInstanceIdChars, &required) != 0) {
        id = boundedText(buffer, kInstanceIdChars);
        return true;
    }
    if (required > kInstanceIdChars && required <= kInstanceIdCharsLimit) {
        std::vector<char16_t> large(required, 0);
        if (win32::SetupDiGetDeviceInstanceIdW(set, data, large.data(), required, nullptr) != 0) {
            id = boundedText(large.data(), large.size());
            return true;
        }
    }
    id.clear();
    return false;
}

qel::String getDeviceRegistryText(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property) {
    alignas(2) BYTE buffer[kRegistryBufferBytes] = {};
    DWORD type = REG_NONE;
    DWORD required = 0;
    if (win32::SetupDiGetDeviceRegistryPropertyW(set, data, property, &type, buffer,
                                                 kRegistryBufferBytes, &required) == 0 ||
        type != REG_SZ) {
        return qel::String();
    }
    return boundedText(reinterpret_cast<const char16_t*>(buffer),
                       kRegistryBufferBytes / sizeof(char16_t));
}

DEVINST locateDeviceNode(const qel::String& instanceId) {
    DEVINST node = 0;
    if (win32::CM_Locate_DevNodeW(&node, instanceId.getUCS2Buffer(), CM_LOCATE_DEVNODE_NORMAL) !=
        CR_SUCCESS) {
        return 0;
    }
    return node;
}

bool isHiddenOrMoved(DEVINST node) {
    ULONG status = 0;
    ULONG problem = 0;
    if (win32::CM_Get_DevNode_Status(&status, &problem, node, 0) != CR_SUCCESS) {
        return false;
    }
    return (status & kHiddenOrMoved) != 0;
}

} // namespace libOSWindows
