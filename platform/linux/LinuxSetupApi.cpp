#include "platform/linux/LinuxBackend.h"

// The plug-and-play listing. Until disks under /sys/block are listed, no device set can be built.

namespace platform {

HDEVINFO LinuxBackend::setupDiGetClassDevs(const GUID*, DWORD) {
    setLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
}

BOOL LinuxBackend::setupDiEnumDeviceInfo(HDEVINFO, DWORD, SP_DEVINFO_DATA*) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL LinuxBackend::setupDiEnumDeviceInterfaces(HDEVINFO, SP_DEVINFO_DATA*, const GUID*, DWORD,
                                               SP_DEVICE_INTERFACE_DATA*) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL LinuxBackend::setupDiGetDeviceInterfaceDetail(HDEVINFO, SP_DEVICE_INTERFACE_DATA*,
                                                   SP_DEVICE_INTERFACE_DETAIL_DATA_W*, DWORD,
                                                   DWORD*, SP_DEVINFO_DATA*) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL LinuxBackend::setupDiGetDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*,
                                                    BYTE*, DWORD, DWORD*) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL LinuxBackend::setupDiGetDeviceInstanceId(HDEVINFO, SP_DEVINFO_DATA*, char16_t*, DWORD,
                                              DWORD*) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL LinuxBackend::setupDiDestroyDeviceInfoList(HDEVINFO) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

CONFIGRET LinuxBackend::cmLocateDevNode(DEVINST* node, const char16_t*, ULONG) {
    if (node != nullptr) {
        *node = 0;
    }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET LinuxBackend::cmGetDevNodeStatus(ULONG*, ULONG*, DEVINST, ULONG) {
    return CR_NO_SUCH_DEVNODE;
}

} // namespace platform
