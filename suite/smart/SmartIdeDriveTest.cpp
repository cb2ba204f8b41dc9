#include "suite/smart/SmartIdeDrive.h"

#include "suite/ata/testing/FakeDisk.h"
#include "suite/ata/testing/RecordedBytes.h"

#include <gtest/gtest.h>

namespace qelrlibsmart {
namespace {

using qelrlibata::testing::FakeDeviceBackend;
using qelrlibata::testing::FakeDisk;
using qelrlibata::testing::recordedBytes;

HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x90));
constexpr DWORD kSmart = win32::kSmartRcvDriveData;
constexpr DWORD kAta = win32::kIoctlAtaPassThrough;
constexpr DWORD kScsi = win32::kIoctlScsiPassThrough;

struct Reading {
    bool known;
    int current, minimum, maximum;
    bool operator==(const Reading&) const = default;
};

Reading read(const SmartIdeDrive& drive) {
    Reading r{false, -1, -1, -1};
    r.known = drive.temperatureCelsius(r.current, r.minimum, r.maximum);
    return r;
}

TEST(SmartIdeDrive, TriesTheRoutesInOrderAndRemembersTheOneThatWorked) {
    struct Case {
        const char* name;
        bool smartReceive, ataPassThrough, scsiAtaPassThrough;
        std::optional<std::uint32_t> ataReportedLength;
        std::vector<DWORD> codes; // over two refreshes
        bool known;
    };
    const Case cases[] = {
        {"SMART request", true, true, true, {}, {kSmart, kSmart}, true},
        {"ATA pass-through", false, true, true, {}, {kSmart, kAta, kAta}, true},
        {"translation layer", false, false, true, {}, {kSmart, kAta, kScsi, kScsi}, true},
        // The ATA route delivers only the first 100 bytes: the next route is tried.
        {"cut answer", false, true, true, 100, {kSmart, kAta, kScsi, kScsi}, true},
        {"no route", false, false, false, {}, {kSmart, kAta, kScsi, kSmart, kAta, kScsi}, false},
    };
    for (const auto& c : cases) {
        qelrlibata::testing::AttachedDisk rig(FakeDisk(), kDevice);
        rig.disk.smartData = recordedBytes("smart-sata-hdd-2tb.hex");
        rig.disk.smartReceive = c.smartReceive;
        rig.disk.ataPassThrough = c.ataPassThrough;
        rig.disk.scsiAtaPassThrough = c.scsiAtaPassThrough;
        rig.disk.ataReportedLength = c.ataReportedLength;
        SmartIdeDrive drive(rig.handle);
        EXPECT_FALSE(read(drive).known) << c.name;
        drive.refreshDriveProperties();
        drive.refreshDriveProperties();
        EXPECT_EQ(rig.backend.codes(), c.codes) << c.name;
        const Reading expected = c.known ? Reading{true, 40, 18, 55} : Reading{false, -1, -1, -1};
        EXPECT_EQ(read(drive), expected) << c.name;
    }
}

TEST(SmartIdeDrive, InvalidHandleNeverAsks) {
    FakeDeviceBackend backend;
    platform::ScopedBackend scope(backend);
    SmartIdeDrive drive{qel::FileHandle(INVALID_HANDLE_VALUE)};
    drive.refreshDriveProperties();
    EXPECT_FALSE(read(drive).known);
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace qelrlibsmart
