#include "libOSWindows/Volume.h"

#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace libOSWindows {
namespace {

using platform::simulated::SimulatedMachine;

struct Expected {
    std::string label;
    std::string serial;
    std::string fileSystem;
    bool readOnly;
    std::uint64_t total;
    std::uint64_t used;
    std::uint64_t free;
};

void expectInformation(const Volume& volume, const Expected& expected) {
    EXPECT_EQ(volume.label.toUtf8(), expected.label);
    EXPECT_EQ(volume.serialNumber.toUtf8(), expected.serial);
    EXPECT_EQ(volume.fileSystem.toUtf8(), expected.fileSystem);
    EXPECT_EQ(volume.isReadOnly, expected.readOnly);
    EXPECT_EQ(volume.totalBytes, expected.total);
    EXPECT_EQ(volume.usedBytes, expected.used);
    EXPECT_EQ(volume.freeBytes, expected.free);
}

TEST(Volume, ReadsItsInformationWhenBuilt) {
    struct Case {
        const char* name;
        const char* drive; // letter D
        std::uint32_t driveType;
        Expected expected;
    };
    const Case cases[] = {
        {"a fixed volume; used is total minus total free, the caller's quota unused",
         R"({"type": 3, "deviceNumber": 0,
             "volume": {"label": "System", "serial": 725372254, "fileSystem": "NTFS", "flags": 0},
             "space": {"total": 1000, "free": 400, "available": 300}})",
         DRIVE_FIXED,
         {"System", "2B3C-4D5E", "NTFS", false, 1000, 600, 400}},
        {"serial with an empty upper half; upper-case digits",
         R"({"type": 3, "volume": {"label": "x", "serial": 43981, "fileSystem": "NTFS", "flags": 1}})",
         DRIVE_FIXED,
         {"x", "0000-ABCD", "NTFS", false, 0, 0, 0}},
        {"space beyond 2^63",
         R"({"type": 3, "space": {"total": 18446744073709551615, "free": 9223372036854775808}})",
         DRIVE_FIXED,
         {"", "", "", false, 18446744073709551615u, 9223372036854775807u, 9223372036854775808u}},
        {"a CD-ROM with a medium: its texts, but no space query",
         R"({"type": 5, "volume": {"label": "DISC", "serial": 1, "fileSystem": "CDFS", "flags": 524288},
             "space": {"total": 1000, "free": 0, "available": 0}})",
         DRIVE_CDROM,
         {"DISC", "0000-0001", "CDFS", true, 0, 0, 0}},
        {"the recorded drive type decides, not the drive's",
         R"({"type": 3, "space": {"total": 1000, "free": 0, "available": 0}})",
         DRIVE_RAMDISK,
         {"", "", "", false, 0, 0, 0}},
        {"volume information fails, space works",
         R"({"type": 3, "space": {"total": 1000, "free": 1, "available": 1}})",
         DRIVE_FIXED,
         {"", "", "", false, 1000, 999, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedMachine machine =
            SimulatedMachine::fromJson(std::string(R"({"drives": {"D": )") + c.drive + "}}");
        const platform::ScopedBackend installed(machine);
        const Volume volume(DriveLetterInfo{'D', c.driveType});
        expectInformation(volume, c.expected);
        EXPECT_EQ(machine.opens(), 0u);
    }
}

TEST(Volume, LabelBufferHoldsAtMost1023Characters) {
    for (const std::size_t length : {1023u, 1024u}) {
        SCOPED_TRACE(length);
        const std::string label(length, 'L');
        SimulatedMachine machine =
            SimulatedMachine::fromJson(R"({"drives": {"C": {"type": 3, "volume": {"label": ")" +
                                       label + R"(", "serial": 1, "fileSystem": "NTFS"}}}})");
        const platform::ScopedBackend installed(machine);
        const Volume volume(DriveLetterInfo{'C', DRIVE_FIXED});
        EXPECT_EQ(volume.label.toUtf8(), length == 1023 ? label : "");
        EXPECT_EQ(volume.serialNumber.toUtf8(), length == 1023 ? "0000-0001" : "");
    }
}

TEST(Volume, RefreshUpdatesAndKeepsTheLastGoodValues) {
    SimulatedMachine machine = SimulatedMachine::fromJson(R"({
      "drives": {"E": {"type": 2,
        "volume": {"label": "Stick", "serial": 65537, "fileSystem": "FAT32", "flags": 0},
        "space": {"total": 100, "free": 60, "available": 60}}},
      "steps": [
        {"at": 0},
        {"at": 1, "patch": {"drives": {"E": {"volume": {"label": "Renamed", "flags": 524288},
                                              "space": {"free": 10}}}}},
        {"at": 2, "patch": {"drives": {"E": {"volume": null, "space": null}}}}
      ]})");
    const platform::ScopedBackend installed(machine);
    Volume volume(DriveLetterInfo{'E', DRIVE_REMOVABLE});
    expectInformation(volume, {"Stick", "0001-0001", "FAT32", false, 100, 40, 60});

    machine.applyStep(1);
    volume.refreshInformation();
    expectInformation(volume, {"Renamed", "0001-0001", "FAT32", true, 100, 90, 10});

    machine.applyStep(2); // the medium is taken out
    volume.refreshInformation();
    expectInformation(volume, {"Renamed", "0001-0001", "FAT32", true, 100, 90, 10});
}

// The system and program drive characters are read once per process, on the first volume: each
// case runs in a process of its own and reports through its exit status, one bit per mark.
int marks(const char* machineJson) {
    SimulatedMachine machine = SimulatedMachine::fromJson(machineJson);
    const platform::ScopedBackend installed(machine);
    const Volume c(DriveLetterInfo{'C', DRIVE_FIXED});
    const Volume d(DriveLetterInfo{'D', DRIVE_FIXED});
    return (c.isSystemVolume ? 1 : 0) | (c.isProgramVolume ? 2 : 0) | (d.isSystemVolume ? 4 : 0) |
           (d.isProgramVolume ? 8 : 0);
}

TEST(VolumeDeathTest, SystemAndProgramVolumesByFirstCharacter) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, not a fork of this one
    struct Case {
        const char* name;
        const char* windows;
        int marks;
    };
    const Case cases[] = {
        {"a lower-case system directory still marks the system volume",
         R"({"systemDirectory": "c:\\windows\\system32", "moduleFileName": "d:\\tools\\x.exe"})",
         1 | 8},
        {"both on one volume", R"({"systemDirectory": "D:\\W", "moduleFileName": "D:\\x.exe"})",
         4 | 8},
        {"neither can be read", "{}", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string machine = std::string(R"({"drives": {"C": {"type": 3}, "D": {"type": 3}},
                                                    "windows": )") +
                                    c.windows + "}";
        EXPECT_EXIT(std::exit(marks(machine.c_str())), testing::ExitedWithCode(c.marks), "");
    }
}

} // namespace
} // namespace libOSWindows
