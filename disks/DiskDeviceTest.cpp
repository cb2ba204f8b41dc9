#include "disks/DiskDevice.h"

#include "devicetree/TestTreeText.h"
#include "disks/AtaDiskDevice.h"
#include "disks/ScsiDiskDevice.h"
#include "foundation/Log.h"
#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace systemmonitor {
namespace {

using libOSWindows::WindowsDevice;
using platform::simulated::SimulatedMachine;

const char* const kMachine = R"({
  "disks": {
    "ata": {"deviceNumber": {"type": 7, "number": 0},
            "descriptor": {"removableMedia": false, "busType": 3},
            "ata": {"smart": {"temperature": 38}}},
    "scsi": {"deviceNumber": {"type": 7, "number": 0},
             "descriptor": {"removableMedia": false, "busType": 11},
             "scsi": {"inquiry": {"vendor": "ATA", "product": "  Acme   SSD ", "revision": " 1.0"},
                      "serial": "  S1   23 ", "temperature": 35}},
    "scsi full vendor": {"scsi": {"inquiry": {"vendor": "ACMECORP", "product": "X", "revision": "1"}}},
    "unknown media": {"deviceNumber": {"type": 7, "number": 0}},
    "no answers": {},
    "locked": {"openable": false}
  }
})";

// A disk of the enumerator's kind over the device at `path`.
std::unique_ptr<DiskDevice> makeDisk(const char* enumerator, const char* path,
                                     const char* name = "Disk", const char* instanceId = "ID") {
    WindowsDevice device;
    device.enumeratorName = enumerator;
    device.friendlyName = name;
    device.instanceId = instanceId;
    device.devicePath = path;
    if (device.enumeratorName == "IDE") {
        return std::make_unique<AtaDiskDevice>(device);
    }
    return std::make_unique<ScsiDiskDevice>(device);
}

std::string describeChildren(const NodePointer& parent) {
    std::string out;
    for (const auto& child : parent->getChildDevices()) {
        test::describeNode(*child, 0, out);
    }
    return out;
}

std::string temperature(const DiskDevice& disk) {
    int celsius = -273;
    return disk.temperatureCelsius(celsius) ? std::to_string(celsius)
                                            : "none" + std::to_string(celsius);
}

class DiskDeviceTest : public testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(machine_.openHandleCount(), 0u);
        EXPECT_EQ(machine_.closes(), machine_.opens());
        EXPECT_EQ(machine_.invalidCloses(), 0u);
    }

    SimulatedMachine machine_ = SimulatedMachine::fromJson(kMachine);
    platform::ScopedBackend installed_{machine_};
    NodePointer root_ = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
};

TEST_F(DiskDeviceTest, ScsiIdentity) {
    struct Case {
        const char* path;
        const char* model;
        const char* serial;
        const char* firmware;
    };
    const Case cases[] = {
        // The padded vendor meets the trimmed product; then blanks collapse.
        {"scsi", "ATA Acme SSD", "S1 23", "1.0"},
        {"scsi full vendor", "ACMECORPX", "", "1"}, // no separator of its own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto disk = makeDisk("SCSI", c.path);
        EXPECT_EQ(disk->modelNumber().toUtf8(), c.model);
        EXPECT_EQ(disk->serialNumber().toUtf8(), c.serial);
        EXPECT_EQ(disk->firmwareRevision().toUtf8(), c.firmware);
    }
}

TEST_F(DiskDeviceTest, DiskThatCannotBeOpened) {
    for (const char* enumerator : {"IDE", "SCSI"}) {
        for (const char* path : {"locked", "missing", ""}) {
            SCOPED_TRACE(std::string(enumerator) + " '" + path + "'");
            NodePointer parent = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
            const auto disk = makeDisk(enumerator, path, "Named", "Key\\1");
            EXPECT_FALSE(disk->drive().handle.isValid());
            EXPECT_EQ(temperature(*disk), "none-273");
            disk->refresh(WindowsDevice());
            EXPECT_EQ(temperature(*disk), "none-273");
            disk->addDeviceNode(parent);
            EXPECT_EQ(describeChildren(parent), "DISK \"Named\" DISK:Key\\1\n");
        }
    }
}

TEST_F(DiskDeviceTest, FailedReadingHidesTheLastGoodValue) {
    SimulatedMachine machine = SimulatedMachine::fromJson(R"({
      "disks": {"ata": {"ata": {"smart": {"temperature": 38}}},
                "scsi": {"scsi": {"temperature": 35}}},
      "steps": [
        {"at": 0},
        {"at": 1, "patch": {"disks": {"ata": {"ata": {"smart": null}},
                                      "scsi": {"scsi": {"temperature": null}}}}}
      ]})");
    const platform::ScopedBackend installed(machine);
    const auto ata = makeDisk("IDE", "ata");
    const auto scsi = makeDisk("SCSI", "scsi");
    ata->refresh(WindowsDevice());
    scsi->refresh(WindowsDevice());
    EXPECT_EQ(temperature(*ata), "38");
    EXPECT_EQ(temperature(*scsi), "35");

    machine.applyStep(1);
    EXPECT_EQ(temperature(*ata), "38"); // read on refresh only
    ata->refresh(WindowsDevice());
    scsi->refresh(WindowsDevice());
    EXPECT_EQ(temperature(*ata), "none-273");
    EXPECT_EQ(temperature(*scsi), "none-273");
}

TEST_F(DiskDeviceTest, OneHandlePerDiskSharedAndClosedOnce) {
    for (const char* enumerator : {"IDE", "SCSI"}) {
        SCOPED_TRACE(enumerator);
        const char16_t* path = std::string(enumerator) == "IDE" ? u"ata" : u"scsi";
        const std::size_t opens = machine_.opens(path);
        auto disk = makeDisk(enumerator, std::string(enumerator) == "IDE" ? "ata" : "scsi");
        // The drive record and the device-library object hold it; the constructor let go.
        EXPECT_EQ(disk->drive().handle.getCount(), 2u);
        for (int i = 0; i < 3; ++i) {
            disk->refresh(WindowsDevice());
            disk->addDeviceNode(root_);
        }
        EXPECT_EQ(machine_.opens(path), opens + 1); // never reopened
        EXPECT_EQ(machine_.closes(path), opens);
        disk.reset();
        EXPECT_EQ(machine_.closes(path), opens + 1);
    }
}

TEST_F(DiskDeviceTest, DiskNodeWhoseBuildingFailsIsNotAttached) {
    const auto disk = makeDisk("SCSI", "unknown media", "Unknown", "U");
    const qel::LogSink previous =
        qel::LogFactory::setSink([](const qel::String&, int, const qel::String& message) {
            throw std::runtime_error(message.toUtf8());
        });
    EXPECT_THROW(disk->addDeviceNode(root_), std::runtime_error);
    qel::LogFactory::setSink(previous);
    EXPECT_EQ(describeChildren(root_), "");
    disk->addDeviceNode(root_); // the listing was attempted once and is not repeated
    EXPECT_EQ(describeChildren(root_), "DISK \"Unknown\" DISK:U\n");
}

TEST(DiskVolumeNode, ByteCountsAtAndAbove2To63ConvertAsUnsigned) {
    SimulatedMachine machine = SimulatedMachine::fromJson("{}");
    const platform::ScopedBackend installed(machine);
    libOSWindows::Volume volume(libOSWindows::DriveLetterInfo{'Z', DRIVE_FIXED});
    volume.totalBytes = 18446744073709551615u;
    volume.usedBytes = 9223372036854775808u;
    NodePointer disk = makeNode(DISK, "Disk", "DISK:X");
    addVolumeNode(disk, volume);
    EXPECT_EQ(describeChildren(disk),
              "VOLUME \"Z:\" VOLUME:Z DriveLetter=Z TotalCapacityMB=17592186044416 "
              "UsedCapacityMB=8796093022208 PercentCapacityUsed=50\n");
}

} // namespace
} // namespace systemmonitor
