#include "disks/DiskDevice.h"

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

// Fixed disk 0 holds C (no label) and D ("Data"); the ATA and SCSI disks below lie on it.
const char* const kMachine = R"({
  "drives": {
    "C": {"type": 3, "deviceNumber": 0, "volume": {"label": "", "serial": 0, "fileSystem": "NTFS"},
          "space": {"total": 2147483648, "free": 1073741824, "available": 0}},
    "D": {"type": 3, "deviceNumber": 0, "volume": {"label": "Data", "serial": 43981},
          "space": {"total": 1073741824, "free": 536870912, "available": 0}}
  },
  "disks": {
    "ata": {"deviceNumber": {"type": 7, "number": 0},
            "descriptor": {"removableMedia": false, "busType": 3},
            "length": 1000204886016,
            "ata": {"identify": {"model": "Acme HDD 1TB", "serial": "  WD-123", "firmware": "CC45"},
                    "smart": {"temperature": 38}}},
    "ata without identity": {"ata": {"smart": {"temperature": 40}}},
    "scsi": {"deviceNumber": {"type": 7, "number": 0},
             "descriptor": {"removableMedia": false, "busType": 11},
             "length": 512110190592,
             "scsi": {"inquiry": {"vendor": "ATA", "product": "  Acme   SSD ", "revision": " 1.0"},
                      "serial": "  S1   23 ", "temperature": 35}},
    "scsi full vendor": {"scsi": {"inquiry": {"vendor": "ACMECORP", "product": "X", "revision": "1"}}},
    "unknown media": {"deviceNumber": {"type": 7, "number": 0}},
    "no answers": {},
    "locked": {"openable": false}
  }
})";

WindowsDevice record(const char* enumerator, const char* friendlyName, const char* description,
                     const char* instanceId, const char* path) {
    WindowsDevice device;
    device.enumeratorName = enumerator;
    device.friendlyName = friendlyName;
    device.description = description;
    device.instanceId = instanceId;
    device.devicePath = path;
    return device;
}

std::unique_ptr<DiskDevice> makeDisk(const WindowsDevice& device) {
    if (device.enumeratorName == "IDE") {
        return std::make_unique<AtaDiskDevice>(device);
    }
    return std::make_unique<ScsiDiskDevice>(device);
}

std::unique_ptr<DiskDevice> makeDisk(const char* enumerator, const char* path) {
    return makeDisk(record(enumerator, "Disk", "", "ID", path));
}

// One node a line, indented by depth: type "name" key, then key=value per property in order.
void describeNode(const Device& node, int depth, std::string& out) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += std::string(deviceTypeName(node.getType())) + " \"" + node.getLocalizedName().toUtf8() +
           "\" " + node.getKey().toUtf8();
    for (const auto& property : node.getProperties()) {
        out += " " + property->getKey().toUtf8() + "=" + property->getValue().toUtf8();
    }
    out += "\n";
    for (const auto& child : node.getChildDevices()) {
        describeNode(*child, depth + 1, out);
    }
}

std::string describeChildren(const NodePointer& parent) {
    std::string out;
    for (const auto& child : parent->getChildDevices()) {
        describeNode(*child, 0, out);
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

TEST_F(DiskDeviceTest, NodeOfAnAtaDisk) {
    const auto disk =
        makeDisk(record("IDE", "Acme HDD", "Disk drive", R"(IDE\Disk\5&1A&0)", "ata"));
    disk->addDeviceNode(root_);
    EXPECT_EQ(describeChildren(root_),
              "DISK \"Acme HDD\" DISK:IDE\\Disk\\5&1A&0 ModelNumber=Acme HDD 1TB "
              "SerialNumber=  WD-123 FirmwareRevision=CC45 TemperatureCelsius=38 "
              "TotalCapacityMB=953869.7109375\n"
              "  VOLUME \"C:\" VOLUME:C DriveLetter=C SerialNumber=0000-0000 TotalCapacityMB=2048 "
              "UsedCapacityMB=1024 PercentCapacityUsed=50\n"
              "  VOLUME \"Data - D:\" VOLUME:D DriveLetter=D Name=Data SerialNumber=0000-ABCD "
              "TotalCapacityMB=1024 UsedCapacityMB=512 PercentCapacityUsed=50\n");
}

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
        {"no answers", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto disk = makeDisk("SCSI", c.path);
        EXPECT_EQ(disk->modelNumber().toUtf8(), c.model);
        EXPECT_EQ(disk->serialNumber().toUtf8(), c.serial);
        EXPECT_EQ(disk->firmwareRevision().toUtf8(), c.firmware);
    }
}

TEST_F(DiskDeviceTest, NodeName) {
    struct Case {
        const char* friendlyName;
        const char* description;
        const char* path; // the SCSI disk's model is "ATA Acme SSD"
        const char* name;
    };
    const Case cases[] = {
        {"Friendly", "Description", "scsi", "Friendly"},
        {"", "Description", "scsi", "Description"},
        {"", "", "scsi", "ATA Acme SSD"},
        {"   ", "Description", "scsi", ""}, // blanks count as a name, then trimming empties it
        {" Padded\t", "Description", "scsi", "Padded"},
        {"", "", "locked", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.friendlyName + "' '" + c.description + "' " + c.path);
        NodePointer parent = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
        makeDisk(record("SCSI", c.friendlyName, c.description, "SCSI\\Id", c.path))
            ->addDeviceNode(parent);
        ASSERT_EQ(parent->getChildDevices().size(), 1u);
        EXPECT_EQ(parent->getChildDevices()[0]->getLocalizedName().toUtf8(), c.name);
    }
}

TEST_F(DiskDeviceTest, DiskThatCannotBeOpened) {
    for (const char* enumerator : {"IDE", "SCSI"}) {
        for (const char* path : {"locked", "missing", ""}) {
            SCOPED_TRACE(std::string(enumerator) + " '" + path + "'");
            NodePointer parent = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
            const auto disk = makeDisk(record(enumerator, "Named", "", "Key\\1", path));
            EXPECT_FALSE(disk->drive().handle.isValid());
            EXPECT_EQ(temperature(*disk), "none-273");
            disk->refresh(WindowsDevice());
            EXPECT_EQ(temperature(*disk), "none-273");
            disk->addDeviceNode(parent);
            EXPECT_EQ(describeChildren(parent), "DISK \"Named\" DISK:Key\\1\n");
        }
    }
}

TEST_F(DiskDeviceTest, TemperatureOfANewDisk) {
    struct Case {
        const char* enumerator;
        const char* path;
        const char* atCreation; // a new SCSI disk has none until its first refresh
        const char* afterRefresh;
        const char* model;
    };
    const Case cases[] = {
        {"IDE", "ata", "38", "38", "Acme HDD 1TB"},
        {"SCSI", "scsi", "none-273", "35", "ATA Acme SSD"},
        {"IDE", "ata without identity", "40", "40", ""}, // the SMART drive works regardless
        {"IDE", "no answers", "none-273", "none-273", ""},
        {"SCSI", "no answers", "none-273", "none-273", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto disk = makeDisk(c.enumerator, c.path);
        EXPECT_EQ(disk->modelNumber().toUtf8(), c.model);
        EXPECT_EQ(temperature(*disk), c.atCreation);
        disk->refresh(WindowsDevice());
        EXPECT_EQ(temperature(*disk), c.afterRefresh);
    }
}

TEST_F(DiskDeviceTest, FailedReadingHidesTheLastGoodValue) {
    SimulatedMachine machine = SimulatedMachine::fromJson(R"({
      "disks": {"ata": {"ata": {"smart": {"temperature": 38}}},
                "scsi": {"scsi": {"temperature": 35}}},
      "steps": [
        {"at": 0},
        {"at": 1, "patch": {"disks": {"ata": {"ata": {"smart": null}},
                                      "scsi": {"scsi": {"temperature": null}}}}},
        {"at": 2, "patch": {"disks": {"ata": {"ata": {"smart": {"temperature": 41}}},
                                      "scsi": {"scsi": {"temperature": 36}}}}}
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

    machine.applyStep(2);
    ata->refresh(WindowsDevice());
    scsi->refresh(WindowsDevice());
    EXPECT_EQ(temperature(*ata), "41");
    EXPECT_EQ(temperature(*scsi), "36");
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

TEST_F(DiskDeviceTest, IsSameDeviceComparesInstanceIdentifiersExactly) {
    struct Case {
        const char* mine;
        const char* theirs;
        bool same;
    };
    const Case cases[] = {
        {"SCSI\\DISK\\2", "SCSI\\DISK\\2", true},
        {"SCSI\\DISK\\2", "scsi\\disk\\2", false},
        {"SCSI\\DISK\\2", "SCSI\\DISK\\2 ", false},
        {"", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mine) + " / " + c.theirs);
        const auto disk = makeDisk(record("SCSI", "", "", c.mine, "missing"));
        EXPECT_EQ(disk->isSameDevice(record("IDE", "other", "", c.theirs, "elsewhere")), c.same);
    }
}

TEST_F(DiskDeviceTest, DiskOfSizeZeroHasNoCapacity) {
    makeDisk(record("IDE", "", "", "X", "ata without identity"))->addDeviceNode(root_);
    EXPECT_EQ(describeChildren(root_), "DISK \"\" DISK:X TemperatureCelsius=40\n");
}

TEST_F(DiskDeviceTest, RefreshRereadsVolumeFigures) {
    SimulatedMachine machine = SimulatedMachine::fromJson(R"({
      "drives": {"C": {"type": 3, "deviceNumber": 0, "volume": {"label": "Old"},
                       "space": {"total": 1048576, "free": 524288}}},
      "disks": {"scsi": {"deviceNumber": {"type": 7, "number": 0},
                         "descriptor": {"removableMedia": false}}},
      "steps": [
        {"at": 0},
        {"at": 1, "patch": {"drives": {"C": {"volume": {"label": "New"}, "space": {"free": 0}}}}}
      ]})");
    const platform::ScopedBackend installed(machine);
    const auto disk = makeDisk("SCSI", "scsi");
    const std::string before = "DISK \"Disk\" DISK:ID\n"
                               "  VOLUME \"Old - C:\" VOLUME:C DriveLetter=C Name=Old "
                               "SerialNumber=0000-0000 TotalCapacityMB=1 UsedCapacityMB=0.5 "
                               "PercentCapacityUsed=50\n";
    disk->addDeviceNode(root_);
    EXPECT_EQ(describeChildren(root_), before);

    machine.applyStep(1);
    NodePointer second = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    disk->addDeviceNode(second);
    EXPECT_EQ(describeChildren(second), before);
    disk->refresh(WindowsDevice());
    NodePointer third = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    disk->addDeviceNode(third);
    EXPECT_EQ(describeChildren(third),
              "DISK \"Disk\" DISK:ID\n"
              "  VOLUME \"New - C:\" VOLUME:C DriveLetter=C Name=New SerialNumber=0000-0000 "
              "TotalCapacityMB=1 UsedCapacityMB=1 PercentCapacityUsed=100\n");
}

TEST_F(DiskDeviceTest, DiskNodeIsAttachedAfterItsVolumesAreListed) {
    // A disk of unknown media logs while it lists its volumes: the root then holds the disks
    // built before it, complete, and nothing of this one.
    std::vector<std::string> seen;
    const qel::LogSink previous =
        qel::LogFactory::setSink([&](const qel::String&, int, const qel::String&) {
            seen.push_back(describeChildren(root_));
        });
    makeDisk(record("SCSI", "Unknown A", "", "A", "unknown media"))->addDeviceNode(root_);
    makeDisk(record("SCSI", "Fixed", "", "F", "scsi"))->addDeviceNode(root_);
    const std::string built = describeChildren(root_);
    makeDisk(record("SCSI", "Unknown B", "", "B", "unknown media"))->addDeviceNode(root_);
    qel::LogFactory::setSink(previous);
    EXPECT_EQ(seen, (std::vector<std::string>{"", built}));
    EXPECT_NE(built.find("VOLUME:D"), std::string::npos);
    EXPECT_EQ(describeChildren(root_), built + "DISK \"Unknown B\" DISK:B\n");
}

TEST_F(DiskDeviceTest, DiskNodeWhoseBuildingFailsIsNotAttached) {
    const auto disk = makeDisk(record("SCSI", "Unknown", "", "U", "unknown media"));
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

TEST(DiskVolumeNode, NameKeyAndFigures) {
    struct Case {
        char letter;
        const char* label;
        const char* serial;
        std::uint64_t total;
        std::uint64_t used;
        const char* node;
    };
    const Case cases[] = {
        {'D', "Data", "0000-ABCD", 1073741824, 536870912,
         "VOLUME \"Data - D:\" VOLUME:D DriveLetter=D Name=Data SerialNumber=0000-ABCD "
         "TotalCapacityMB=1024 UsedCapacityMB=512 PercentCapacityUsed=50"},
        {'D', "", "", 1073741824, 0,
         "VOLUME \"D:\" VOLUME:D DriveLetter=D TotalCapacityMB=1024 UsedCapacityMB=0 "
         "PercentCapacityUsed=0"},
        {'E', "Full", "", 10000, 9999, // 99.99 percent
         "VOLUME \"Full - E:\" VOLUME:E DriveLetter=E Name=Full "
         "TotalCapacityMB=0.0095367431640625 UsedCapacityMB=0.009535789489746094 "
         "PercentCapacityUsed=99"},
        {'F', "", "", 1024, 1024,
         "VOLUME \"F:\" VOLUME:F DriveLetter=F TotalCapacityMB=0.0009765625 "
         "UsedCapacityMB=0.0009765625 PercentCapacityUsed=100"},
        // A volume of size 0 keeps every property; its percentage is 0.
        {'G', "", "", 0, 0,
         "VOLUME \"G:\" VOLUME:G DriveLetter=G TotalCapacityMB=0 UsedCapacityMB=0 "
         "PercentCapacityUsed=0"},
        // Byte counts at 2^63 and above convert as unsigned.
        {'Z', "", "", 18446744073709551615u, 9223372036854775808u,
         "VOLUME \"Z:\" VOLUME:Z DriveLetter=Z TotalCapacityMB=17592186044416 "
         "UsedCapacityMB=8796093022208 PercentCapacityUsed=50"},
    };
    SimulatedMachine machine = SimulatedMachine::fromJson("{}");
    const platform::ScopedBackend installed(machine);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node);
        libOSWindows::Volume volume(libOSWindows::DriveLetterInfo{c.letter, DRIVE_FIXED});
        volume.label = c.label;
        volume.serialNumber = c.serial;
        volume.totalBytes = c.total;
        volume.usedBytes = c.used;
        NodePointer disk = makeNode(DISK, "Disk", "DISK:X");
        addVolumeNode(disk, volume);
        EXPECT_EQ(describeChildren(disk), std::string(c.node) + "\n");
    }
}

} // namespace
} // namespace systemmonitor
