#pragma once
// A backend whose storage calls (files, control requests, letters and volumes, SetupAPI and the
// configuration manager) a StorageEmulator answers: the live Linux machine and the simulated one.

#include "platform/Backend.h"
#include "platform/StorageEmulator.h"

namespace platform {

class EmulatingBackend : public Backend {
public:
    DWORD getLastError() override;

    HANDLE createFile(const char16_t* name, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags) override;
    BOOL closeHandle(HANDLE handle) override;
    BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) override;

    DWORD getLogicalDrives() override;
    UINT getDriveType(const char16_t* root) override;
    int isNetDrive(int drive) override;
    BOOL getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize, DWORD* serial,
                              DWORD* maxComponent, DWORD* flags, char16_t* fileSystem,
                              DWORD fileSystemSize) override;
    BOOL getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                            ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) override;
    UINT getSystemDirectory(char16_t* buffer, UINT size) override;
    DWORD getModuleFileName(char16_t* buffer, DWORD size) override;

    HDEVINFO setupDiGetClassDevs(const GUID* classGuid, DWORD flags) override;
    BOOL setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) override;
    BOOL setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                     const GUID* interfaceClass, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* interfaceData) override;
    BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                         SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                         DWORD* required, SP_DEVINFO_DATA* data) override;
    BOOL setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                          DWORD* registryType, BYTE* buffer, DWORD size,
                                          DWORD* required) override;
    BOOL setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id, DWORD size,
                                    DWORD* required) override;
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO set) override;
    CONFIGRET cmLocateDevNode(DEVINST* node, const char16_t* instanceId, ULONG flags) override;
    CONFIGRET cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node, ULONG flags) override;

protected:
    virtual StorageEmulator& storage() = 0;
};

} // namespace platform
