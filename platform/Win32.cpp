#include "platform/Win32.h"

#include "platform/Backend.h"
#include "platform/Hot.h"

namespace platform {
namespace {
Backend* installed = nullptr;
}

SM_HOT Backend& currentBackend() {
    return installed != nullptr ? *installed : nativeBackend();
}

ScopedBackend::ScopedBackend(Backend& backend) : previous_(installed) {
    installed = &backend;
}

ScopedBackend::~ScopedBackend() {
    installed = previous_;
}

} // namespace platform

namespace win32 {
using platform::currentBackend;

SM_HOT double monotonicSeconds() {
    return currentBackend().monotonicSeconds();
}

DWORD GetLastError() {
    return currentBackend().getLastError();
}

SM_HOT BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
    return currentBackend().globalMemoryStatusEx(status);
}

HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share, void* /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*templateFile*/) {
    return currentBackend().createFile(name, access, share, disposition, flags);
}

BOOL CloseHandle(HANDLE handle) {
    return currentBackend().closeHandle(handle);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned, void* /*overlapped*/) {
    return currentBackend().deviceIoControl(device, code, in, inSize, out, outSize, returned);
}

DWORD GetLogicalDrives() {
    return currentBackend().getLogicalDrives();
}

UINT GetDriveTypeW(const char16_t* root) {
    return currentBackend().getDriveType(root);
}

int IsNetDrive(int drive) {
    return currentBackend().isNetDrive(drive);
}

BOOL GetVolumeInformationW(const char16_t* root, char16_t* name, DWORD nameSize, DWORD* serial,
                           DWORD* maxComponent, DWORD* flags, char16_t* fileSystem,
                           DWORD fileSystemSize) {
    return currentBackend().getVolumeInformation(root, name, nameSize, serial, maxComponent, flags,
                                                 fileSystem, fileSystemSize);
}

BOOL GetDiskFreeSpaceExW(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    return currentBackend().getDiskFreeSpaceEx(root, availableToCaller, total, totalFree);
}

UINT GetSystemDirectoryW(char16_t* buffer, UINT size) {
    return currentBackend().getSystemDirectory(buffer, size);
}

DWORD GetModuleFileNameW(HMODULE /*module*/, char16_t* buffer, DWORD size) {
    return currentBackend().getModuleFileName(buffer, size);
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const char16_t* /*enumerator*/,
                              HWND /*parent*/, DWORD flags) {
    return currentBackend().setupDiGetClassDevs(classGuid, flags);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    return currentBackend().setupDiEnumDeviceInfo(set, index, data);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data, const GUID* interfaceClass,
                                 DWORD index, SP_DEVICE_INTERFACE_DATA* interfaceData) {
    return currentBackend().setupDiEnumDeviceInterfaces(set, data, interfaceClass, index,
                                                        interfaceData);
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                      DWORD* required, SP_DEVINFO_DATA* data) {
    return currentBackend().setupDiGetDeviceInterfaceDetail(set, interfaceData, detail, size,
                                                            required, data);
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                       DWORD* registryType, BYTE* buffer, DWORD size,
                                       DWORD* required) {
    return currentBackend().setupDiGetDeviceRegistryProperty(set, data, property, registryType,
                                                             buffer, size, required);
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id, DWORD size,
                                 DWORD* required) {
    return currentBackend().setupDiGetDeviceInstanceId(set, data, id, size, required);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    return currentBackend().setupDiDestroyDeviceInfoList(set);
}

CONFIGRET CM_Locate_DevNodeW(DEVINST* node, const char16_t* instanceId, ULONG flags) {
    return currentBackend().cmLocateDevNode(node, instanceId, flags);
}

CONFIGRET CM_Get_DevNode_Status(ULONG* status, ULONG* problem, DEVINST node, ULONG flags) {
    return currentBackend().cmGetDevNodeStatus(status, problem, node, flags);
}

} // namespace win32
