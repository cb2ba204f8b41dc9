#pragma once
// For tests: a backend that states processor facts and fails every other call, as a machine
// without drives, devices or memory status would.

#include "platform/Backend.h"

namespace libSysTopo::cpu::test {

class FakeFactsBackend : public platform::Backend {
public:
    platform::ProcessorFacts facts;

    const platform::ProcessorFacts* processorFacts() override { return &facts; }

    double monotonicSeconds() override { return 0.0; }
    DWORD getLastError() override { return ERROR_NOT_SUPPORTED; }
    BOOL globalMemoryStatusEx(MEMORYSTATUSEX*) override { return FALSE; }
    HANDLE createFile(const char16_t*, DWORD, DWORD, DWORD, DWORD) override {
        return INVALID_HANDLE_VALUE;
    }
    BOOL closeHandle(HANDLE) override { return FALSE; }
    BOOL deviceIoControl(HANDLE, DWORD, void*, DWORD, void*, DWORD, DWORD*) override {
        return FALSE;
    }
    DWORD getLogicalDrives() override { return 0; }
    UINT getDriveType(const char16_t*) override { return DRIVE_NO_ROOT_DIR; }
    int isNetDrive(int) override { return 0; }
    BOOL getVolumeInformation(const char16_t*, char16_t*, DWORD, DWORD*, DWORD*, DWORD*, char16_t*,
                              DWORD) override {
        return FALSE;
    }
    BOOL getDiskFreeSpaceEx(const char16_t*, ULARGE_INTEGER*, ULARGE_INTEGER*,
                            ULARGE_INTEGER*) override {
        return FALSE;
    }
    UINT getSystemDirectory(char16_t*, UINT) override { return 0; }
    DWORD getModuleFileName(char16_t*, DWORD) override { return 0; }
    HDEVINFO setupDiGetClassDevs(const GUID*, DWORD) override { return INVALID_HANDLE_VALUE; }
    BOOL setupDiEnumDeviceInfo(HDEVINFO, DWORD, SP_DEVINFO_DATA*) override { return FALSE; }
    BOOL setupDiEnumDeviceInterfaces(HDEVINFO, SP_DEVINFO_DATA*, const GUID*, DWORD,
                                     SP_DEVICE_INTERFACE_DATA*) override {
        return FALSE;
    }
    BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO, SP_DEVICE_INTERFACE_DATA*,
                                         SP_DEVICE_INTERFACE_DETAIL_DATA_W*, DWORD, DWORD*,
                                         SP_DEVINFO_DATA*) override {
        return FALSE;
    }
    BOOL setupDiGetDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*, BYTE*, DWORD,
                                          DWORD*) override {
        return FALSE;
    }
    BOOL setupDiGetDeviceInstanceId(HDEVINFO, SP_DEVINFO_DATA*, char16_t*, DWORD, DWORD*) override {
        return FALSE;
    }
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO) override { return FALSE; }
    CONFIGRET cmLocateDevNode(DEVINST*, const char16_t*, ULONG) override {
        return CR_NO_SUCH_DEVNODE;
    }
    CONFIGRET cmGetDevNodeStatus(ULONG*, ULONG*, DEVINST, ULONG) override {
        return CR_NO_SUCH_DEVNODE;
    }
};

} // namespace libSysTopo::cpu::test
