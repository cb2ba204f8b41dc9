#include "libOSWindows/DriveLetters.h"

#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace libOSWindows {
namespace {

using platform::simulated::SimulatedMachine;

// "disk:letters" per disk number, ascending, e.g. "0:CE 1:D".
std::string describe(const DriveLetterTable& table) {
    std::map<unsigned int, std::string> byDisk;
    table.forEach([&](unsigned int disk, const qel::Array<DriveLetterInfo>& letters) {
        for (const DriveLetterInfo& info : letters) {
            byDisk[disk] += info.driveLetter;
        }
    });
    std::string out;
    for (const auto& [disk, letters] : byDisk) {
        out += (out.empty() ? "" : " ") + std::to_string(disk) + ":" + letters;
    }
    return out;
}

// Letters sorted per disk and kept apart by kind are shown by the drive record's listings.
TEST(DriveLetters, ScanRecordsLocalLettersByKindAndDisk) {
    struct Case {
        const char* name;
        const char* drives;
        const char* fixed;
        const char* removable;
        const char* cdrom;
    };
    const Case cases[] = {
        {"network drives, connected or not, are never recorded nor opened",
         R"({"C": {"type": 3, "deviceNumber": 0},
             "M": {"type": 3, "network": 1, "deviceNumber": 0},
             "N": {"type": 4, "network": 2, "deviceNumber": 0}})",
         "0:C", "", ""},
        {"the first and the last letter",
         R"({"A": {"type": 2, "deviceNumber": 4}, "Z": {"type": 3, "deviceNumber": 4294967295}})",
         "4294967295:Z", "4:A", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedMachine machine =
            SimulatedMachine::fromJson(std::string(R"({"drives": )") + c.drives + "}");
        const platform::ScopedBackend installed(machine);
        DriveLetterMap map;
        scanDriveLetters(map);
        EXPECT_EQ(describe(map.fixedDrives), c.fixed);
        EXPECT_EQ(describe(map.removableDrives), c.removable);
        EXPECT_EQ(describe(map.cdromDrives), c.cdrom);
        EXPECT_EQ(machine.opens(u"\\\\.\\M:") + machine.opens(u"\\\\.\\N:"), 0u);
        EXPECT_EQ(machine.closes(), machine.opens());
        EXPECT_EQ(machine.openHandleCount(), 0u);
        EXPECT_EQ(machine.invalidCloses(), 0u);
    }
}

TEST(DriveLetters, AppendKeepsOrderPastTheFirstCapacity) {
    DriveLetterTable table;
    std::string expected;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        EXPECT_TRUE(appendDriveLetter(table, 7, DriveLetterInfo{letter, DRIVE_FIXED}));
        expected += letter;
    }
    EXPECT_TRUE(appendDriveLetter(table, 8, DriveLetterInfo{'C', DRIVE_FIXED}));
    EXPECT_EQ(describe(table), "7:" + expected + " 8:C");
    EXPECT_EQ(table.count(), 2u);

    qel::Array<DriveLetterInfo> none;
    EXPECT_EQ(table.getValue(9, none), 0u);
    EXPECT_EQ(none.size(), 0u);
}

} // namespace
} // namespace libOSWindows
