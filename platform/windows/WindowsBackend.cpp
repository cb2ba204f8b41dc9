#include "platform/windows/WindowsBackend.h"

// IsNetDrive, imported from shell32 by its ordinal 66: the import library made from
// Shell32Ordinals.def binds this name to that ordinal.
extern "C" __declspec(dllimport) int WINAPI SmShellIsNetDrive(int drive);

namespace platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

LPCWSTR wide(const char16_t* text) {
    return reinterpret_cast<LPCWSTR>(text);
}
LPWSTR wide(char16_t* text) {
    return reinterpret_cast<LPWSTR>(text);
}

} // namespace

// Never destroyed: the library's objects destroyed at unload (the disks, with their open handles)
// still close through it, whatever the order in which they were created.
Backend& nativeBackend() {
    static WindowsBackend* const backend = new WindowsBackend;
    return *backend;
}

double WindowsBackend::monotonicSeconds() {
    // The frequency is fixed at boot: read once.
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER value{};
        ::QueryPerformanceFrequency(&value);
        return value;
    }();
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    if (frequency.QuadPart <= 0) {
        return 0.0;
    }
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

DWORD WindowsBackend::getLastError() {
    return ::GetLastError();
}

BOOL WindowsBackend::globalMemoryStatusEx(MEMORYSTATUSEX* status) {
    return ::GlobalMemoryStatusEx(status);
}

HANDLE WindowsBackend::createFile(const char16_t* name, DWORD access, DWORD share,
                                  DWORD disposition, DWORD flags) {
    return ::CreateFileW(wide(name), access, share, nullptr, disposition, flags, nullptr);
}

BOOL WindowsBackend::closeHandle(HANDLE handle) {
    return ::CloseHandle(handle);
}

BOOL WindowsBackend::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                     DWORD outSize, DWORD* returned) {
    // Without OVERLAPPED the platform requires somewhere to write the byte count.
    DWORD ignored = 0;
    return ::DeviceIoControl(device, code, in, inSize, out, outSize,
                             returned != nullptr ? returned : &ignored, nullptr);
}

DWORD WindowsBackend::getLogicalDrives() {
    return ::GetLogicalDrives();
}

UINT WindowsBackend::getDriveType(const char16_t* root) {
    return ::GetDriveTypeW(wide(root));
}

int WindowsBackend::isNetDrive(int drive) {
    return SmShellIsNetDrive(drive);
}

BOOL WindowsBackend::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                          DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                          char16_t* fileSystem, DWORD fileSystemSize) {
    return ::GetVolumeInformationW(wide(root), wide(name), nameSize, serial, maxComponent, flags,
                                   wide(fileSystem), fileSystemSize);
}

BOOL WindowsBackend::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                        ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    return ::GetDiskFreeSpaceExW(wide(root), availableToCaller, total, totalFree);
}

UINT WindowsBackend::getSystemDirectory(char16_t* buffer, UINT size) {
    return ::GetSystemDirectoryW(wide(buffer), size);
}

DWORD WindowsBackend::getModuleFileName(char16_t* buffer, DWORD size) {
    // The host process's executable, not this library.
    return ::GetModuleFileNameW(nullptr, wide(buffer), size);
}

HDEVINFO WindowsBackend::setupDiGetClassDevs(const GUID* classGuid, DWORD flags) {
    return ::SetupDiGetClassDevsW(classGuid, nullptr, nullptr, flags);
}

BOOL WindowsBackend::setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    return ::SetupDiEnumDeviceInfo(set, index, data);
}

BOOL WindowsBackend::setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                 const GUID* interfaceClass, DWORD index,
                                                 SP_DEVICE_INTERFACE_DATA* interfaceData) {
    return ::SetupDiEnumDeviceInterfaces(set, data, interfaceClass, index, interfaceData);
}

BOOL WindowsBackend::setupDiGetDeviceInterfaceDetail(HDEVINFO set,
                                                     SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                     SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                     DWORD size, DWORD* required,
                                                     SP_DEVINFO_DATA* data) {
    return ::SetupDiGetDeviceInterfaceDetailW(set, interfaceData, detail, size, required, data);
}

BOOL WindowsBackend::setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                      DWORD property, DWORD* registryType,
                                                      BYTE* buffer, DWORD size, DWORD* required) {
    return ::SetupDiGetDeviceRegistryPropertyW(set, data, property, registryType, buffer, size,
                                               required);
}

BOOL WindowsBackend::setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id,
                                                DWORD size, DWORD* required) {
    return ::SetupDiGetDeviceInstanceIdW(set, data, wide(id), size, required);
}

BOOL WindowsBackend::setupDiDestroyDeviceInfoList(HDEVINFO set) {
    return ::SetupDiDestroyDeviceInfoList(set);
}

CONFIGRET WindowsBackend::cmLocateDevNode(DEVINST* node, const char16_t* instanceId, ULONG flags) {
    // The configuration manager takes a non-const identifier but only reads it.
    return ::CM_Locate_DevNodeW(node, const_cast<DEVINSTID_W>(wide(instanceId)), flags);
}

CONFIGRET WindowsBackend::cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                             ULONG flags) {
    return ::CM_Get_DevNode_Status(status, problem, node, flags);
}

} // namespace platform
