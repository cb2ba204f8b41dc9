#include "platform/linux/LinuxBackend.h"

// Files, devices, drive letters and volumes. Until Windows device paths are mapped onto the Linux
// machine, every call fails the way Win32 does for a missing device.

namespace platform {

HANDLE LinuxBackend::createFile(const char16_t*, DWORD, DWORD, DWORD, DWORD) {
    setLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL LinuxBackend::closeHandle(HANDLE) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL LinuxBackend::deviceIoControl(HANDLE, DWORD, void*, DWORD, void*, DWORD, DWORD* returned) {
    if (returned != nullptr) {
        *returned = 0;
    }
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

DWORD LinuxBackend::getLogicalDrives() { return 0; }

UINT LinuxBackend::getDriveType(const char16_t*) { return DRIVE_NO_ROOT_DIR; }

int LinuxBackend::isNetDrive(int) { return 0; }

BOOL LinuxBackend::getVolumeInformation(const char16_t*, char16_t*, DWORD, DWORD*, DWORD*, DWORD*,
                                        char16_t*, DWORD) {
    setLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL LinuxBackend::getDiskFreeSpaceEx(const char16_t*, ULARGE_INTEGER*, ULARGE_INTEGER*,
                                      ULARGE_INTEGER*) {
    setLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

UINT LinuxBackend::getSystemDirectory(char16_t*, UINT) {
    setLastError(ERROR_FILE_NOT_FOUND);
    return 0;
}

DWORD LinuxBackend::getModuleFileName(char16_t*, DWORD) {
    setLastError(ERROR_FILE_NOT_FOUND);
    return 0;
}

} // namespace platform
