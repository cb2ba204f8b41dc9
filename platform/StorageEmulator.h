#pragma once
// Win32's storage calls answered from a StorageSource's facts, with Win32's own semantics:
// handles and device sets that must be closed, buffer and required sizes, the last error per
// thread. One emulator serves the live Linux machine and the simulated one, each job in its own
// file: EmulatedFiles.cpp (handles and control requests), EmulatedVolumes.cpp (letters, volumes,
// directories), EmulatedDeviceSets.cpp (SetupAPI and the configuration manager).
//
// Each call asks the source once; a handle keeps the path it was opened with and answers from
// the facts of the moment (ERROR_NOT_READY once its disk is gone). Thread-safe.

#include "platform/StorageFacts.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {

// The calling thread's last error, as SetLastError keeps it; shared by the emulating backends.
void setLastError(DWORD error);
DWORD lastError();

class StorageEmulator {
public:
    explicit StorageEmulator(StorageSource& source) : source_(source) {}
    StorageEmulator(const StorageEmulator&) = delete;
    StorageEmulator& operator=(const StorageEmulator&) = delete;

    HANDLE createFile(const char16_t* name, DWORD disposition);
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

    HDEVINFO setupDiGetClassDevs(const GUID* classGuid, DWORD flags);
    BOOL setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
    BOOL setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                     const GUID* interfaceClass, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* interfaceData);
    BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                         SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                         DWORD* required, SP_DEVINFO_DATA* data);
    BOOL setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                          DWORD* registryType, BYTE* buffer, DWORD size,
                                          DWORD* required);
    BOOL setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id, DWORD size,
                                    DWORD* required);
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO set);
    CONFIGRET cmLocateDevNode(DEVINST* node, const char16_t* instanceId);
    CONFIGRET cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node);

    // What was opened and closed, so tests can show each handle and set closed exactly once.
    // Per path: the name exactly as given to CreateFileW.
    struct Counts {
        std::size_t opens = 0;
        std::size_t closes = 0;
        std::size_t invalidCloses = 0; // unknown or already closed
        std::size_t setsCreated = 0;
        std::size_t setsDestroyed = 0;
        std::size_t invalidSetDestroys = 0;
        std::map<std::u16string, std::size_t, std::less<>> opensByPath;
        std::map<std::u16string, std::size_t, std::less<>> closesByPath;
    };
    Counts counts() const;
    std::size_t openHandleCount() const;
    std::size_t openDeviceSetCount() const;

private:
    struct OpenFile {
        std::u16string name;
        std::optional<char> letter; // a drive letter's volume, else a disk by its path
    };
    // The devices as they were when the set was built.
    struct DeviceSet {
        bool interfaces = false;
        std::vector<DeviceFacts> devices;
    };

    HANDLE newHandle();
    std::optional<OpenFile> openFile(HANDLE handle) const;
    std::shared_ptr<const DeviceSet> findSet(HDEVINFO set) const;

    StorageSource& source_;
    mutable std::mutex mutex_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::map<std::uintptr_t, OpenFile> files_;
    std::map<std::uintptr_t, std::shared_ptr<const DeviceSet>> sets_;
    Counts counts_;
};

// The disk a path names in `facts`: exact, else in any letter case under either device prefix.
std::shared_ptr<const DiskFacts> findDisk(const StorageFacts& facts, std::u16string_view path);

} // namespace platform
