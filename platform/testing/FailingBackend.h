#pragma once
// For tests: a platform backend on which every call fails the way Win32 reports "not supported",
// with a clock the test sets. Tests derive from it and answer only the calls they exercise.

#include "platform/Backend.h"

namespace platform::testing {

class FailingBackend : public Backend {
public:
    double clock = 0.0;
    DWORD lastError = ERROR_SUCCESS;

    double monotonicSeconds() override { return clock; }
    DWORD getLastError() override { return lastError; }

    BOOL globalMemoryStatusEx(MEMORYSTATUSEX*) override { return unsupported(); }

    HANDLE createFile(const char16_t*, DWORD, DWORD, DWORD, DWORD) override {
        return unsupported(INVALID_HANDLE_VALUE);
    }
    BOOL closeHandle(HANDLE) override { return fail(ERROR_INVALID_HANDLE); }
    BOOL deviceIoControl(HANDLE, DWORD, void*, DWORD, void*, DWORD, DWORD* returned) override {
        if (returned != nullptr) {
            *returned = 0;
        }
        return unsupported();
    }

    DWORD getLogicalDrives() override { return unsupported(0); }
    UINT getDriveType(const char16_t*) override { return DRIVE_NO_ROOT_DIR; }
    int isNetDrive(int) override { return 0; }
    BOOL getVolumeInformation(const char16_t*, char16_t*, DWORD, DWORD*, DWORD*, DWORD*, char16_t*,
                              DWORD) override {
        return unsupported();
    }
    BOOL getDiskFreeSpaceEx(const char16_t*, ULARGE_INTEGER*, ULARGE_INTEGER*,
                            ULARGE_INTEGER*) override {
        return unsupported();
    }
    UINT getSystemDirectory(char16_t*, UINT) override { return unsupported(0); }
    DWORD getModuleFileName(char16_t*, DWORD) override { return unsupported(0); }

    HDEVINFO setupDiGetClassDevs(const GUID*, DWORD) override {
        return unsupported(INVALID_HANDLE_VALUE);
    }
    BOOL setupDiEnumDeviceInfo(HDEVINFO, DWORD, SP_DEVINFO_DATA*) override {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    BOOL setupDiEnumDeviceInterfaces(HDEVINFO, SP_DEVINFO_DATA*, const GUID*, DWORD,
                                     SP_DEVICE_INTERFACE_DATA*) override {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO, SP_DEVICE_INTERFACE_DATA*,
                                         SP_DEVICE_INTERFACE_DETAIL_DATA_W*, DWORD, DWORD*,
                                         SP_DEVINFO_DATA*) override {
        return unsupported();
    }
    BOOL setupDiGetDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*, BYTE*, DWORD,
                                          DWORD*) override {
        return unsupported();
    }
    BOOL setupDiGetDeviceInstanceId(HDEVINFO, SP_DEVINFO_DATA*, char16_t*, DWORD, DWORD*) override {
        return unsupported();
    }
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO) override { return fail(ERROR_INVALID_HANDLE); }
    CONFIGRET cmLocateDevNode(DEVINST*, const char16_t*, ULONG) override {
        return CR_NO_SUCH_DEVNODE;
    }
    CONFIGRET cmGetDevNodeStatus(ULONG*, ULONG*, DEVINST, ULONG) override {
        return CR_NO_SUCH_DEVNODE;
    }

protected:
    BOOL fail(DWORD error) {
        lastError = error;
        return FALSE;
    }
    BOOL unsupported() { return fail(ERROR_NOT_SUPPORTED); }
    template <typename T> T unsupported(T answer) {
        unsupported();
        return answer;
    }
};

} // namespace platform::testing
