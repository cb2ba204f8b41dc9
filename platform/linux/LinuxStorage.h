#pragma once
// Files, devices, drive letters and volumes of the live Linux machine in Win32 terms. A handle
// stands for a disk, a CD-ROM drive or a drive letter's volume and is backed by its sysfs entry;
// the /dev node is opened only when a request needs it (SG_IO, the drive geometry), and a node
// that does not open (an unprivileged user, a sandbox) leaves the handle working on sysfs facts.

#include "platform/Win32.h"
#include "platform/linux/StorageView.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace platform {

class LinuxStorage {
public:
    explicit LinuxStorage(StorageRoots roots = {});
    ~LinuxStorage();
    LinuxStorage(const LinuxStorage&) = delete;
    LinuxStorage& operator=(const LinuxStorage&) = delete;

    HANDLE createFile(const char16_t* name, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags);
    BOOL closeHandle(HANDLE handle);
    BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned);

    DWORD getLogicalDrives();
    UINT getDriveType(const char16_t* root);
    int isNetDrive(int drive);
    BOOL getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize, DWORD* serial,
                              DWORD* maxComponent, DWORD* flags, char16_t* fileSystem,
                              DWORD fileSystemSize);
    BOOL getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                            ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree);
    UINT getSystemDirectory(char16_t* buffer, UINT size);
    DWORD getModuleFileName(char16_t* buffer, DWORD size);

    std::size_t openHandleCount() const;

    struct DeviceHandle;

private:
    std::shared_ptr<DeviceHandle> find(HANDLE handle) const;
    StorageView view() const;

    StorageRoots roots_;
    mutable std::mutex mutex_;
    std::map<HANDLE, std::shared_ptr<DeviceHandle>> handles_;
    std::uintptr_t nextHandle_ = 0xD150000;
};

// The storage of the live machine (roots at /sys, /dev, /proc), created on first use.
LinuxStorage& liveStorage();

} // namespace platform
