#pragma once
// A backend that forwards every call to another one (the live machine) and keeps what it
// answered as a simulated machine (the JSON format that platform/simulated/Machine.h loads), so
// that replaying the file answers the same calls the same way. A call that fails leaves its key
// out, which is how the format says "fails". Linked into hwsnap and the tests, never into the
// shipped library.
//
// The processor libraries do not read the processor through the seam: the "cpu" section is the
// host's to add (see tools/hwsnap/RecordProcessors.h). Not thread-safe, like the system it serves.

#include "platform/Backend.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace platform::recording {

class RecordingBackend final : public Backend {
public:
    explicit RecordingBackend(Backend& live) : live_(live) {}

    // The machine as the calls answered it so far; later answers replace earlier ones.
    nlohmann::json machine() const;

    // Marks the end of the first snapshot. A disk's fact first asked after it (a temperature
    // read only on a later refresh) held all along; other answers, such as the list of log
    // pages, depend on it: lateAnswers() holds them, as a merge patch for the first machine.
    void firstSnapshotTaken() { firstTaken_ = true; }
    const nlohmann::json& lateAnswers() const { return lateAnswers_; }

    double monotonicSeconds() override { return live_.monotonicSeconds(); }
    DWORD getLastError() override { return live_.getLastError(); }

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
    BOOL setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id,
                                    DWORD size, DWORD* required) override;
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO set) override;
    CONFIGRET cmLocateDevNode(DEVINST* node, const char16_t* instanceId, ULONG flags) override;
    CONFIGRET cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                 ULONG flags) override;

    const ProcessorFacts* processorFacts() override { return live_.processorFacts(); }

private:
    // One device information set: its devices in enumeration order, each found again by what
    // SetupDiEnumDeviceInfo wrote into the caller's record.
    struct DeviceSet {
        bool interfaces = false;
        std::vector<nlohmann::json> devices;
        std::map<std::pair<DWORD, ULONG_PTR>, std::size_t> byData;
        std::map<ULONG_PTR, std::size_t> byInterface;
    };
    // What a handle was opened on: a drive letter's volume, or a disk by its path.
    struct Opened {
        std::optional<char> letter;
        std::string path;
    };

    nlohmann::json* deviceOf(HDEVINFO set, const SP_DEVINFO_DATA* data);
    nlohmann::json& drive(char letter);
    void recordDiskAnswer(nlohmann::json& disk, DWORD code, BOOL ok, const void* in, DWORD inSize,
                          const void* out, DWORD returned);

    Backend& live_;
    nlohmann::json memory_;
    nlohmann::json windows_ = nlohmann::json::object();
    std::map<char, nlohmann::json> drives_;
    std::map<std::string, nlohmann::json> disks_;
    std::map<HANDLE, Opened> handles_;
    std::vector<DeviceSet> sets_; // in creation order
    std::map<HDEVINFO, std::size_t> openSets_;
    std::map<std::string, nlohmann::json> devnodes_; // by instance identifier
    std::map<DEVINST, std::string> nodeIds_;
    bool firstTaken_ = false;
    std::map<std::string, std::set<std::string>> asked_; // JSON pointers, by disk path
    nlohmann::json lateAnswers_ = nlohmann::json::object();
};

// What changed from `before` to `after`, as a JSON Merge Patch (RFC 7386): objects member by
// member, anything else whole; a removed member is null.
nlohmann::json mergePatchBetween(const nlohmann::json& before, const nlohmann::json& after);

} // namespace platform::recording
