#pragma once
// A backend whose storage calls are answered from facts (StorageFacts.h) with Win32's own
// semantics: handles and device sets that must be closed, buffer and required sizes, the last
// error per thread. The live Linux machine and the simulated one are both such a backend; each
// says where its facts come from. The calls live by job: EmulatedFiles.cpp (handles),
// EmulatedQueries.cpp (storage-information requests), EmulatedPassThrough.cpp (SCSI, ATA and
// SMART), EmulatedVolumes.cpp (letters and volumes), EmulatedDirectories.cpp (system directory,
// module name), EmulatedDeviceSets.cpp (SetupAPI and the configuration manager).
//
// Each call asks for the facts once; a handle keeps the path it was opened with and answers
// from the facts of the moment (ERROR_NOT_READY once its disk is gone). Thread-safe where the
// facts are.

#include "platform/Backend.h"
#include "platform/StorageFacts.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The calling thread's last error, as SetLastError keeps it.
void setLastError(DWORD error);
DWORD lastError();

class StorageEmulator : public Backend {
public:
    StorageEmulator();
    ~StorageEmulator() override;
    StorageEmulator(StorageEmulator&&) noexcept;
    StorageEmulator& operator=(StorageEmulator&&) noexcept;

    DWORD getLastError() override { return lastError(); }

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

    // What was opened and closed, so tests can show each handle and set closed exactly once:
    // successful opens and closes in total and per path (the name exactly as given to
    // CreateFileW), those open now, and closes of handles unknown or already closed.
    std::size_t opens() const;
    std::size_t closes() const;
    std::size_t opens(std::u16string_view path) const;
    std::size_t closes(std::u16string_view path) const;
    std::size_t openHandleCount() const;
    std::size_t invalidCloses() const;
    // Device sets from SetupDiGetClassDevsW, likewise.
    std::size_t deviceSetsCreated() const;
    std::size_t deviceSetsDestroyed() const;
    std::size_t openDeviceSetCount() const;
    std::size_t invalidDeviceSetDestroys() const;

protected:
    // The facts that answer a call now.
    virtual std::shared_ptr<const StorageFacts> storageFacts() = 0;

private:
    struct OpenFile {
        std::u16string name;
        std::optional<char> letter; // a drive letter's volume, else a disk by its path
    };
    // The devices as they were when the set was built: it keeps those facts alive.
    struct DeviceSet {
        bool interfaces = false;
        std::shared_ptr<const StorageFacts> facts;
        std::vector<const DeviceFacts*> devices;
    };
    using Counts = std::map<std::u16string, std::size_t, std::less<>>;
    // Open handles and device sets with their counts; on the heap, so the backend can move.
    struct Tables {
        mutable std::mutex mutex;
        std::uintptr_t nextHandle = 0x1000;
        std::map<std::uintptr_t, OpenFile> files;
        std::map<std::uintptr_t, std::shared_ptr<const DeviceSet>> sets;
        std::size_t opens = 0;
        std::size_t closes = 0;
        std::size_t invalidCloses = 0;
        std::size_t setsCreated = 0;
        std::size_t setsDestroyed = 0;
        std::size_t invalidSetDestroys = 0;
        Counts opensByPath;
        Counts closesByPath;

        // Never reused, so a stale handle stays stale; never 0 or INVALID_HANDLE_VALUE.
        HANDLE newHandle() {
            nextHandle += 4;
            return reinterpret_cast<HANDLE>(nextHandle);
        }
    };

    std::optional<OpenFile> openFile(HANDLE handle) const;
    std::shared_ptr<const DeviceSet> findSet(HDEVINFO set) const;
    template <typename Value> Value read(Value Tables::*member) const {
        std::lock_guard lock(tables_->mutex);
        return (*tables_).*member;
    }

    std::unique_ptr<Tables> tables_;
};

// The disk a path names in `facts`: exact, else in any letter case under either device prefix.
std::shared_ptr<const DiskFacts> findDisk(const StorageFacts& facts, std::u16string_view path);

} // namespace platform
