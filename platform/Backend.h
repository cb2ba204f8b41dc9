#pragma once
// What answers the Win32 calls of namespace win32: the live machine (the native backend of this
// operating system) or a simulated one installed for a scope.

#include "platform/ProcessorFacts.h"
#include "platform/Win32.h"

namespace platform {

class Backend {
public:
    virtual ~Backend() = default;

    virtual double monotonicSeconds() = 0;
    virtual DWORD getLastError() = 0;

    virtual BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) = 0;

    virtual HANDLE createFile(const char16_t* name, DWORD access, DWORD share, DWORD disposition,
                              DWORD flags) = 0;
    virtual BOOL closeHandle(HANDLE handle) = 0;
    virtual BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                 DWORD outSize, DWORD* returned) = 0;

    virtual DWORD getLogicalDrives() = 0;
    virtual UINT getDriveType(const char16_t* root) = 0;
    virtual int isNetDrive(int drive) = 0;
    virtual BOOL getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                      DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                      char16_t* fileSystem, DWORD fileSystemSize) = 0;
    virtual BOOL getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                    ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) = 0;
    virtual UINT getSystemDirectory(char16_t* buffer, UINT size) = 0;
    virtual DWORD getModuleFileName(char16_t* buffer, DWORD size) = 0;

    virtual HDEVINFO setupDiGetClassDevs(const GUID* classGuid, DWORD flags) = 0;
    virtual BOOL setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) = 0;
    virtual BOOL setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                             const GUID* interfaceClass, DWORD index,
                                             SP_DEVICE_INTERFACE_DATA* interfaceData) = 0;
    virtual BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO set,
                                                 SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                 SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                 DWORD size, DWORD* required,
                                                 SP_DEVINFO_DATA* data) = 0;
    virtual BOOL setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                  DWORD property, DWORD* registryType, BYTE* buffer,
                                                  DWORD size, DWORD* required) = 0;
    virtual BOOL setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id,
                                            DWORD size, DWORD* required) = 0;
    virtual BOOL setupDiDestroyDeviceInfoList(HDEVINFO set) = 0;
    virtual CONFIGRET cmLocateDevNode(DEVINST* node, const char16_t* instanceId, ULONG flags) = 0;
    virtual CONFIGRET cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                         ULONG flags) = 0;

    // Processor facts stated outright (a simulated machine); null when the processor libraries
    // must read the live machine.
    virtual const ProcessorFacts* processorFacts() { return nullptr; }
};

// The live machine of this operating system; created on first use.
Backend& nativeBackend();

// The backend that answers now: the installed one, else the native one.
Backend& currentBackend();

// Installs a backend for the lifetime of the scope; scopes nest. Not thread-safe: install before
// snapshots are taken.
class ScopedBackend {
public:
    explicit ScopedBackend(Backend& backend);
    ~ScopedBackend();
    ScopedBackend(const ScopedBackend&) = delete;
    ScopedBackend& operator=(const ScopedBackend&) = delete;

private:
    Backend* previous_;
};

} // namespace platform
