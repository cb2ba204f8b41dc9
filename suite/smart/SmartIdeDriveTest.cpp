#include "suite/smart/SmartIdeDrive.h"

#include "suite/ata/FakeDisk.h"
#include "suite/ata/RecordedBytes.h"

#include <gtest/gtest.h>

#include <memory>

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
    int current;
    int minimum;
    int maximum;
};

Reading read(const SmartIdeDrive& drive) {
    Reading r{false, -1, -1, -1};
    r.known = drive.temperatureCelsius(r.current, r.minimum, r.maximum);
    return r;
}

TEST(SmartIdeDrive, NoTemperatureBeforeTheFirstRefresh) {
    FakeDisk disk;
    disk.smartData = recordedBytes("smart-sata-hdd-2tb.hex");
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(kDevice);
    const SmartIdeDrive drive(handle);
    EXPECT_FALSE(read(drive).known);
    EXPECT_TRUE(backend.requests().empty());
}

TEST(SmartIdeDrive, TriesTheRoutesInOrder) {
    struct Case {
        const char* name;
        bool smartReceive;
        bool ataPassThrough;
        bool scsiAtaPassThrough;
        std::vector<DWORD> codes;
        bool known;
    };
    const Case cases[] = {
        {"SMART request", true, true, true, {kSmart}, true},
        {"ATA pass-through", false, true, true, {kSmart, kAta}, true},
        {"translation layer", false, false, true, {kSmart, kAta, kScsi}, true},
        {"no route", false, false, false, {kSmart, kAta, kScsi}, false},
    };
    for (const auto& c : cases) {
        FakeDisk disk;
        disk.smartData = recordedBytes("smart-sata-hdd-2tb.hex");
        disk.smartReceive = c.smartReceive;
        disk.ataPassThrough = c.ataPassThrough;
        disk.scsiAtaPassThrough = c.scsiAtaPassThrough;
        FakeDeviceBackend backend;
        disk.attach(backend);
        platform::ScopedBackend scope(backend);
        const qel::FileHandle handle(kDevice);
        SmartIdeDrive drive(handle);
        drive.refreshDriveProperties();
        EXPECT_EQ(backend.codes(), c.codes) << c.name;
        const Reading r = read(drive);
        EXPECT_EQ(r.known, c.known) << c.name;
        if (c.known) {
            EXPECT_EQ(r.current, 40) << c.name;
        }
    }
}

TEST(SmartIdeDrive, RemembersTheRouteThatWorked) {
    FakeDisk disk;
    disk.smartData = recordedBytes("smart-sata-hdd-2tb.hex");
    disk.smartReceive = false;
    disk.ataPassThrough = false;
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(kDevice);
    SmartIdeDrive drive(handle);
    drive.refreshDriveProperties();
    drive.refreshDriveProperties();
    EXPECT_EQ(backend.codes(), (std::vector<DWORD>{kSmart, kAta, kScsi, kScsi}));
    EXPECT_TRUE(read(drive).known);
}

TEST(SmartIdeDrive, TemperatureAndExtremes) {
    struct Case {
        const char* file;
        Reading expected;
    };
    const Case cases[] = {
        {"smart-sata-hdd-2tb.hex", {true, 40, 18, 55}},
        // Raw bytes 2 and 4 are zero: no extremes, the outputs keep what they held.
        {"smart-sata-ssd-airflow-only.hex", {true, 33, -1, -1}},
        {"smart-sata-hdd-194-vendor-raw.hex", {true, 36, 19, 51}},
        {"smart-usb-flash-no-temperature.hex", {false, -1, -1, -1}},
        {"smart-implausible-temperature.hex", {false, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        FakeDisk disk;
        disk.smartData = recordedBytes(c.file);
        FakeDeviceBackend backend;
        disk.attach(backend);
        platform::ScopedBackend scope(backend);
        const qel::FileHandle handle(kDevice);
        SmartIdeDrive drive(handle);
        drive.refreshDriveProperties();
        const Reading r = read(drive);
        EXPECT_EQ(r.known, c.expected.known) << c.file;
        EXPECT_EQ(r.current, c.expected.current) << c.file;
        EXPECT_EQ(r.minimum, c.expected.minimum) << c.file;
        EXPECT_EQ(r.maximum, c.expected.maximum) << c.file;
        // A whole sector settles the question: no other route is asked.
        EXPECT_EQ(backend.codes(), std::vector<DWORD>{kSmart}) << c.file;
    }
}

TEST(SmartIdeDrive, CutAnswerLetsTheNextRouteTry) {
    FakeDisk disk;
    disk.smartData = recordedBytes("smart-sata-hdd-2tb.hex");
    disk.smartReceive = false;
    disk.ataReportedLength = 100; // the ATA route delivers only the first 100 bytes
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(kDevice);
    SmartIdeDrive drive(handle);
    drive.refreshDriveProperties();
    EXPECT_EQ(backend.codes(), (std::vector<DWORD>{kSmart, kAta, kScsi}));
    const Reading r = read(drive);
    EXPECT_TRUE(r.known);
    EXPECT_EQ(r.current, 40);
}

TEST(SmartIdeDrive, FailedRefreshForgetsTheLastReading) {
    FakeDisk disk;
    disk.smartData = recordedBytes("smart-sata-hdd-2tb.hex");
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(kDevice);
    SmartIdeDrive drive(handle);
    drive.refreshDriveProperties();
    ASSERT_TRUE(read(drive).known);

    disk.smartReceive = false;
    disk.ataPassThrough = false;
    disk.scsiAtaPassThrough = false;
    drive.refreshDriveProperties();
    EXPECT_FALSE(read(drive).known);

    disk.smartReceive = true;
    disk.smartData = recordedBytes("smart-sata-ssd-airflow-only.hex");
    drive.refreshDriveProperties();
    const Reading r = read(drive);
    EXPECT_TRUE(r.known);
    EXPECT_EQ(r.current, 33);
}

TEST(SmartIdeDrive, KeepsItsOwnReferenceToTheHandle) {
    FakeDisk disk;
    disk.smartData = recordedBytes("smart-sata-hdd-2tb.hex");
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    std::unique_ptr<SmartIdeDrive> drive;
    {
        const qel::FileHandle handle(kDevice);
        drive = std::make_unique<SmartIdeDrive>(handle);
        EXPECT_EQ(handle.getCount(), 2u);
    }
    EXPECT_EQ(backend.closes(kDevice), 0);
    drive->refreshDriveProperties();
    EXPECT_EQ(backend.requests().at(0).device, kDevice);
    EXPECT_TRUE(read(*drive).known);
    drive.reset();
    EXPECT_EQ(backend.closes(kDevice), 1);
}

TEST(SmartIdeDrive, InvalidHandleNeverAsks) {
    FakeDeviceBackend backend;
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(INVALID_HANDLE_VALUE);
    SmartIdeDrive drive(handle);
    drive.refreshDriveProperties();
    EXPECT_FALSE(read(drive).known);
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace qelrlibsmart
