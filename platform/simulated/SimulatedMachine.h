#pragma once
// A machine described by a JSON file, answering the Win32 calls of the seam with Win32's own
// semantics: buffer and required sizes, GetLastError codes (per thread), handles and device sets
// that must be closed. Hosts and tests install it for a scope with platform::ScopedBackend.
//
// Time and change: the clock starts at 0 with the machine as written; applyStep(i) sets the
// clock to step i's time and the machine to its state after step i's patch.
//
// It counts every handle and device set opened and closed, so tests can show that each one is
// closed exactly once. Not thread-safe, like the system it serves (the last error aside).

#include "platform/Backend.h"
#include "platform/simulated/Machine.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::simulated {

class SimulatedMachine final : public Backend {
public:
    explicit SimulatedMachine(Machine machine);
    // Both throw MachineError for a file that breaks the format.
    static SimulatedMachine fromFile(const std::filesystem::path& path);
    static SimulatedMachine fromJson(std::string_view text);

    SimulatedMachine(SimulatedMachine&&) = default;
    SimulatedMachine& operator=(SimulatedMachine&&) = default;
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    const Machine& machine() const { return machine_; }
    // What the machine answers now.
    const MachineState& state() const {
        return step_ ? machine_.stateAt(*step_) : machine_.initialState();
    }

    std::size_t stepCount() const { return machine_.stepCount(); }
    // Sets the clock to step i's time and the machine to its state after step i; throws
    // std::out_of_range past the last step. Open handles stay open.
    void applyStep(std::size_t i);

    // Handles from CreateFileW: successful opens and closes in total and per path (the name
    // exactly as given to CreateFileW), those open now, and CloseHandle calls that failed
    // because the handle was unknown or already closed.
    std::size_t opens() const { return opens_; }
    std::size_t closes() const { return closes_; }
    std::size_t opens(std::u16string_view path) const;
    std::size_t closes(std::u16string_view path) const;
    std::size_t openHandleCount() const { return handles_.size(); }
    std::size_t invalidCloses() const { return invalidCloses_; }

    // Device sets from SetupDiGetClassDevsW, likewise.
    std::size_t deviceSetsCreated() const { return setsCreated_; }
    std::size_t deviceSetsDestroyed() const { return setsDestroyed_; }
    std::size_t openDeviceSetCount() const { return sets_.size(); }
    std::size_t invalidDeviceSetDestroys() const { return invalidSetDestroys_; }

    double monotonicSeconds() override { return clock_; }
    DWORD getLastError() override;

    BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) override;

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

    // The cpu section: no package (and a usage meter) when the file has none.
    const ProcessorFacts* processorFacts() override { return &state().cpu; }

private:
    // An open CreateFileW handle: a drive letter's volume or a disk by its path.
    struct OpenFile {
        std::u16string name;
        std::optional<char> letter;
    };
    // A device set: the devices as they were when it was built, with their node numbers.
    struct DeviceSet {
        bool interfaces = false;
        std::vector<DeviceState> devices;
        std::vector<DEVINST> nodes;
    };

    static void setLastError(DWORD error);
    // TRUE for 0, else FALSE with `error` as the last error.
    static BOOL answer(DWORD error);
    HANDLE newHandleValue();

    BOOL diskIoControl(const DiskState& disk, DWORD code, void* in, DWORD inSize, void* out,
                       DWORD outSize, DWORD* returned);
    BOOL ataPassThrough(const DiskState& disk, void* in, DWORD inSize, void* out, DWORD outSize,
                        DWORD* returned);
    BOOL smartReceive(const DiskState& disk, void* in, DWORD inSize, void* out, DWORD outSize,
                      DWORD* returned);
    BOOL scsiPassThrough(const DiskState& disk, void* in, DWORD inSize, void* out, DWORD outSize,
                         DWORD* returned);

    DeviceSet* findSet(HDEVINFO set);
    // The set's member that `data` names, or null (ERROR_INVALID_PARAMETER set).
    const DeviceState* memberOf(const DeviceSet& set, const SP_DEVINFO_DATA* data,
                                std::size_t* index = nullptr);

    Machine machine_;
    std::optional<std::size_t> step_; // none: the machine as written
    double clock_ = 0.0;

    std::uintptr_t nextHandle_ = 0x1000;
    std::map<std::uintptr_t, OpenFile> handles_;
    std::map<std::u16string, std::size_t, std::less<>> opensByPath_;
    std::map<std::u16string, std::size_t, std::less<>> closesByPath_;
    std::size_t opens_ = 0;
    std::size_t closes_ = 0;
    std::size_t invalidCloses_ = 0;

    std::map<std::uintptr_t, DeviceSet> sets_;
    std::size_t setsCreated_ = 0;
    std::size_t setsDestroyed_ = 0;
    std::size_t invalidSetDestroys_ = 0;
};

} // namespace platform::simulated
