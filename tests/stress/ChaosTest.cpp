// Failure injection: a fixture machine whose platform answers fail at random (a seeded
// generator, so a failing run can be repeated), snapshot after snapshot. Every snapshot must be a
// well-formed tree that formats as valid JSON; no handle or device set may be closed twice or
// leak. Run under the native-asan preset, so a memory fault shows as well.
//   chaos_test MACHINE.json SEED SNAPSHOTS

#include "TreeWalk.h"
#include "devicetree/GetAllDevices.h"
#include "platform/Backend.h"
#include "platform/simulated/SimulatedMachine.h"
#include "tools/hwsnap/TreeFormat.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <random>
#include <string>

namespace {

using platform::simulated::SimulatedMachine;

// Forwards to the machine, but fails about one call in `1/rate` with an error a driver could
// give. Releases are always forwarded: the library must close what it opened, whatever failed.
// The clock moves on 10 s per snapshot, so that every snapshot refreshes the disks.
class ChaosBackend final : public platform::Backend {
public:
    ChaosBackend(SimulatedMachine& machine, unsigned seed) : machine_(machine), random_(seed) {}

    double clock = 0.0;
    std::size_t injected = 0;

    double monotonicSeconds() override { return clock; }
    DWORD getLastError() override { return failed_ ? error_ : machine_.getLastError(); }

    BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) override {
        return chaos() ? FALSE : machine_.globalMemoryStatusEx(status);
    }
    HANDLE createFile(const char16_t* name, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags) override {
        return chaos() ? INVALID_HANDLE_VALUE
                       : machine_.createFile(name, access, share, disposition, flags);
    }
    BOOL closeHandle(HANDLE handle) override {
        failed_ = false;
        return machine_.closeHandle(handle);
    }
    BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) override {
        if (chaos()) {
            if (returned != nullptr) {
                *returned = 0;
            }
            return FALSE;
        }
        return machine_.deviceIoControl(device, code, in, inSize, out, outSize, returned);
    }
    DWORD getLogicalDrives() override { return chaos() ? 0 : machine_.getLogicalDrives(); }
    UINT getDriveType(const char16_t* root) override {
        return chaos() ? 0 /* DRIVE_UNKNOWN */ : machine_.getDriveType(root);
    }
    int isNetDrive(int drive) override { return chaos() ? 0 : machine_.isNetDrive(drive); }
    BOOL getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize, DWORD* serial,
                              DWORD* maxComponent, DWORD* flags, char16_t* fileSystem,
                              DWORD fileSystemSize) override {
        return chaos() ? FALSE
                       : machine_.getVolumeInformation(root, name, nameSize, serial, maxComponent,
                                                       flags, fileSystem, fileSystemSize);
    }
    BOOL getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                            ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) override {
        return chaos() ? FALSE
                       : machine_.getDiskFreeSpaceEx(root, availableToCaller, total, totalFree);
    }
    UINT getSystemDirectory(char16_t* buffer, UINT size) override {
        return chaos() ? 0 : machine_.getSystemDirectory(buffer, size);
    }
    DWORD getModuleFileName(char16_t* buffer, DWORD size) override {
        return chaos() ? 0 : machine_.getModuleFileName(buffer, size);
    }
    HDEVINFO setupDiGetClassDevs(const GUID* classGuid, DWORD flags) override {
        return chaos() ? INVALID_HANDLE_VALUE : machine_.setupDiGetClassDevs(classGuid, flags);
    }
    BOOL setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) override {
        return chaos() ? FALSE : machine_.setupDiEnumDeviceInfo(set, index, data);
    }
    BOOL setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                     const GUID* interfaceClass, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* interfaceData) override {
        return chaos() ? FALSE
                       : machine_.setupDiEnumDeviceInterfaces(set, data, interfaceClass, index,
                                                              interfaceData);
    }
    BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                         SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                         DWORD* required, SP_DEVINFO_DATA* data) override {
        return chaos() ? FALSE
                       : machine_.setupDiGetDeviceInterfaceDetail(set, interfaceData, detail, size,
                                                                  required, data);
    }
    BOOL setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                          DWORD* registryType, BYTE* buffer, DWORD size,
                                          DWORD* required) override {
        return chaos() ? FALSE
                       : machine_.setupDiGetDeviceRegistryProperty(
                             set, data, property, registryType, buffer, size, required);
    }
    BOOL setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id, DWORD size,
                                    DWORD* required) override {
        return chaos() ? FALSE : machine_.setupDiGetDeviceInstanceId(set, data, id, size, required);
    }
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO set) override {
        failed_ = false;
        return machine_.setupDiDestroyDeviceInfoList(set);
    }
    CONFIGRET cmLocateDevNode(DEVINST* node, const char16_t* instanceId, ULONG flags) override {
        return chaos() ? 0x0D /* CR_NO_SUCH_DEVNODE */
                       : machine_.cmLocateDevNode(node, instanceId, flags);
    }
    CONFIGRET cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                 ULONG flags) override {
        return chaos() ? 0x0D : machine_.cmGetDevNodeStatus(status, problem, node, flags);
    }
    const platform::ProcessorFacts* processorFacts() override { return machine_.processorFacts(); }

private:
    // Whether this call fails; if so, with which error.
    bool chaos() {
        static constexpr DWORD kErrors[] = {ERROR_ACCESS_DENIED, ERROR_NOT_READY,
                                            ERROR_INSUFFICIENT_BUFFER, ERROR_NOT_SUPPORTED,
                                            ERROR_INVALID_PARAMETER};
        failed_ = std::uniform_int_distribution<int>(0, 3)(random_) == 0;
        if (failed_) {
            error_ = kErrors[std::uniform_int_distribution<std::size_t>(0, 4)(random_)];
            ++injected;
        }
        return failed_;
    }

    SimulatedMachine& machine_;
    std::mt19937 random_;
    bool failed_ = false;
    DWORD error_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MACHINE.json SEED SNAPSHOTS\n", argv[0]);
        return 2;
    }
    const unsigned seed = static_cast<unsigned>(std::stoul(argv[2]));
    const int snapshots = std::stoi(argv[3]);
    // Static: the library's process-wide disk objects close their handles on it at exit.
    static auto machine = SimulatedMachine::fromFile(argv[1]);
    static ChaosBackend chaos(machine, seed);
    static const platform::ScopedBackend scope(chaos);
    for (int n = 0; n < snapshots; ++n) {
        machine.applyStep(static_cast<std::size_t>(n) % machine.stepCount());
        chaos.clock += 10.0;
        const auto root = systemmonitor::getAllDevices();
        std::string fault;
        stress::walkTree(*root, fault);
        const std::string json = hwsnap::formatJson(*root);
        if (!nlohmann::json::accept(json)) {
            fault = "the tree does not format as JSON: " + json;
        }
        if (machine.invalidCloses() != 0 || machine.invalidDeviceSetDestroys() != 0) {
            fault = "a handle or device set was closed twice or never opened";
        }
        if (machine.openDeviceSetCount() != 0) {
            fault = "a device set was left open";
        }
        if (machine.openHandleCount() > machine.state().storage.disks.size() + 26) {
            fault = std::to_string(machine.openHandleCount()) + " handles left open";
        }
        if (!fault.empty()) {
            std::fprintf(stderr, "seed %u, snapshot %d: %s\n", seed, n, fault.c_str());
            return 1;
        }
    }
    std::printf("%d snapshots, %zu failures injected\n", snapshots, chaos.injected);
    return 0;
}
