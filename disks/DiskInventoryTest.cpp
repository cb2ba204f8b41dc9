#include "disks/DiskInventory.h"

#include "disks/ScsiDiskDevice.h"
#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace systemmonitor {
namespace {

using libOSWindows::WindowsDevice;
using platform::simulated::SimulatedMachine;

// An ATA and a SCSI disk with temperatures, a USB disk (skipped), and two disks that are no
// device of the machine ("X1", "X2") for tests that hand the inventory a list of their own.
const char* const kMachine = R"({
  "devices": [
    {"friendlyName": "Ata", "enumeratorName": "IDE", "instanceId": "IDE\\A", "interfacePath": "ata"},
    {"friendlyName": "Usb", "enumeratorName": "USBSTOR", "instanceId": "USB\\U", "interfacePath": "usb"},
    {"friendlyName": "Scsi", "enumeratorName": "SCSI", "instanceId": "SCSI\\S", "interfacePath": "scsi"}
  ],
  "disks": {
    "ata": {"ata": {"smart": {"temperature": 38}}},
    "usb": {},
    "scsi": {"scsi": {"temperature": 35}},
    "x1": {}, "x2": {}
  },
  "steps": [
    {"at": 0},
    {"at": 6, "patch": {
      "devices": [
        {"friendlyName": "Ata", "enumeratorName": "IDE", "instanceId": "IDE\\A", "interfacePath": "ata"},
        {"friendlyName": "Scsi", "enumeratorName": "SCSI", "instanceId": "SCSI\\S", "interfacePath": "scsi"},
        {"friendlyName": "Late", "enumeratorName": "IDE", "instanceId": "IDE\\L", "interfacePath": "late"}
      ],
      "disks": {"late": {"ata": {"smart": {"temperature": 30}}},
                "ata": {"ata": {"smart": {"temperature": 39}}}}}}
  ]
})";

// Runs `body`, writes its failures to standard error and returns their count.
int failuresOf(const std::function<void()>& body) {
    testing::TestPartResultArray results;
    {
        const testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        body();
    }
    int failures = 0;
    for (int i = 0; i < results.size(); ++i) {
        const testing::TestPartResult& result = results.GetTestPartResult(i);
        if (result.failed()) {
            ++failures;
            std::fprintf(stderr, "%s:%d: %s\n", result.file_name(), result.line_number(),
                         result.message());
        }
    }
    return failures;
}

// The inventory lives as long as the process: each test runs its body in a fresh process of
// this binary (not a fork of this one). The death test shows what failed there.
void inFreshProcess(const std::function<void()>& body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(failuresOf(body) == 0 ? 0 : 1), testing::ExitedWithCode(0), "");
}

// "key:temperature" per disk node, e.g. "IDE\A:38 SCSI\S:-".
std::string snapshot() {
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    addDiskDevices(root);
    std::string out;
    for (const auto& disk : root->getChildDevices()) {
        std::string celsius = "-";
        for (const auto& property : disk->getProperties()) {
            if (property->getKey() == "TemperatureCelsius") {
                celsius = property->getValue().toUtf8();
            }
        }
        out += (out.empty() ? "" : " ") + disk->getKey().toUtf8().substr(5) + ":" + celsius;
    }
    return out;
}

WindowsDevice record(const char* instanceId, const char* path) {
    WindowsDevice device;
    device.enumeratorName = "SCSI";
    device.instanceId = instanceId;
    device.devicePath = path;
    return device;
}

TEST(DiskInventoryDeathTest, RefreshDropsDisksWithoutADeviceAndKeepsTheRest) {
    inFreshProcess([] {
        SimulatedMachine machine = SimulatedMachine::fromJson(kMachine);
        const platform::ScopedBackend installed(machine);
        qel::Array<DiskHandle> disks;
        for (const WindowsDevice& device :
             {record("X1", "x1"), record("X2", "x2"), record("SCSI\\S", "scsi")}) {
            disks.append(DiskHandle(new ScsiDiskDevice(device)));
        }
        DiskDevice* const known = disks[2].get();
        int celsius = 0;
        EXPECT_FALSE(known->temperatureCelsius(celsius));

        // Both strangers go, the second after moving into the place of the first; the known
        // disk is refreshed in place, and the devices without a disk get new ones behind it.
        refreshDiskList(disks);
        ASSERT_EQ(disks.size(), 2u);
        EXPECT_EQ(disks[0].get(), known);
        EXPECT_TRUE(known->temperatureCelsius(celsius));
        EXPECT_EQ(celsius, 35);
        EXPECT_TRUE(disks[1].get()->isSameDevice(record("IDE\\A", "")));
        EXPECT_EQ(machine.closes(u"x1"), 1u);
        EXPECT_EQ(machine.closes(u"x2"), 1u);

        refreshDiskList(disks);
        EXPECT_EQ(disks.size(), 2u);
        EXPECT_EQ(machine.deviceSetsCreated(), 2u);
    });
}

// Set in the fresh process, read by the exit check after the inventory is gone.
SimulatedMachine* exitMachine = nullptr;

void checkHandlesAtExit() {
    const SimulatedMachine& machine = *exitMachine;
    for (const char16_t* path : {u"ata", u"scsi"}) {
        if (machine.opens(path) != 1 || machine.closes(path) != 1) {
            std::fprintf(stderr, "disk handle opened %zu and closed %zu times\n",
                         machine.opens(path), machine.closes(path));
            std::_Exit(1);
        }
    }
    if (machine.openHandleCount() != 0 || machine.invalidCloses() != 0) {
        std::fprintf(stderr, "%zu handles open, %zu invalid closes at exit\n",
                     machine.openHandleCount(), machine.invalidCloses());
        std::_Exit(1);
    }
}

// The device list is taken once; refreshes neither reopen a disk nor pick up a new device, and
// every handle is closed once, after the inventory is gone.
TEST(DiskInventoryDeathTest, DeviceListIsTakenOnceAndEveryHandleClosedAtProcessEnd) {
    inFreshProcess([] {
        // Made before the inventory, so destroyed after it; the check is registered before
        // the inventory exists, so it runs after the inventory's destruction.
        static SimulatedMachine machine = SimulatedMachine::fromJson(kMachine);
        static const platform::ScopedBackend installed(machine);
        exitMachine = &machine;
        std::atexit(checkHandlesAtExit);
        // A new SCSI disk reads its first temperature at the next refresh.
        EXPECT_EQ(snapshot(), R"(IDE\A:38 SCSI\S:-)");
        machine.applyStep(1); // past the interval, with a device added and one removed
        EXPECT_EQ(snapshot(), R"(IDE\A:39 SCSI\S:35)");
        snapshot();
        EXPECT_EQ(machine.deviceSetsCreated(), 2u);
        EXPECT_EQ(machine.opens(u"late"), 0u);
        EXPECT_EQ(machine.opens(u"usb"), 0u);
        EXPECT_EQ(machine.openHandleCount(), 2u);
    });
}

} // namespace
} // namespace systemmonitor
