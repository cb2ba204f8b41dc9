#include "platform/EmulatingBackend.h"

namespace platform {

DWORD EmulatingBackend::getLastError() {
    return lastError();
}

HANDLE EmulatingBackend::createFile(const char16_t* name, DWORD, DWORD, DWORD disposition, DWORD) {
    return storage().createFile(name, disposition);
}

BOOL EmulatingBackend::closeHandle(HANDLE handle) {
    return storage().closeHandle(handle);
}

BOOL EmulatingBackend::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                       DWORD outSize, DWORD* returned) {
    return storage().deviceIoControl(device, code, in, inSize, out, outSize, returned);
}

DWORD EmulatingBackend::getLogicalDrives() {
    return storage().getLogicalDrives();
}

UINT EmulatingBackend::getDriveType(const char16_t* root) {
    return storage().getDriveType(root);
}

int EmulatingBackend::isNetDrive(int drive) {
    return storage().isNetDrive(drive);
}

BOOL EmulatingBackend::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                            DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                            char16_t* fileSystem, DWORD fileSystemSize) {
    return storage().getVolumeInformation(root, name, nameSize, serial, maxComponent, flags,
                                          fileSystem, fileSystemSize);
}

BOOL EmulatingBackend::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                          ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    return storage().getDiskFreeSpaceEx(root, availableToCaller, total, totalFree);
}

UINT EmulatingBackend::getSystemDirectory(char16_t* buffer, UINT size) {
    return storage().getSystemDirectory(buffer, size);
}

DWORD EmulatingBackend::getModuleFileName(char16_t* buffer, DWORD size) {
    return storage().getModuleFileName(buffer, size);
}

HDEVINFO EmulatingBackend::setupDiGetClassDevs(const GUID* classGuid, DWORD flags) {
    return storage().setupDiGetClassDevs(classGuid, flags);
}

BOOL EmulatingBackend::setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    return storage().setupDiEnumDeviceInfo(set, index, data);
}

BOOL EmulatingBackend::setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                   const GUID* interfaceClass, DWORD index,
                                                   SP_DEVICE_INTERFACE_DATA* interfaceData) {
    return storage().setupDiEnumDeviceInterfaces(set, data, interfaceClass, index, interfaceData);
}

BOOL EmulatingBackend::setupDiGetDeviceInterfaceDetail(HDEVINFO set,
                                                       SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                       SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                       DWORD size, DWORD* required,
                                                       SP_DEVINFO_DATA* data) {
    return storage().setupDiGetDeviceInterfaceDetail(set, interfaceData, detail, size, required,
                                                     data);
}

BOOL EmulatingBackend::setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                        DWORD property, DWORD* registryType,
                                                        BYTE* buffer, DWORD size, DWORD* required) {
    return storage().setupDiGetDeviceRegistryProperty(set, data, property, registryType, buffer,
                                                      size, required);
}

BOOL EmulatingBackend::setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id,
                                                  DWORD size, DWORD* required) {
    return storage().setupDiGetDeviceInstanceId(set, data, id, size, required);
}

BOOL EmulatingBackend::setupDiDestroyDeviceInfoList(HDEVINFO set) {
    return storage().setupDiDestroyDeviceInfoList(set);
}

CONFIGRET EmulatingBackend::cmLocateDevNode(DEVINST* node, const char16_t* instanceId, ULONG) {
    return storage().cmLocateDevNode(node, instanceId);
}

CONFIGRET EmulatingBackend::cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node, ULONG) {
    return storage().cmGetDevNodeStatus(status, problem, node);
}

} // namespace platform
