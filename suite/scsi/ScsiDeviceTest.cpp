#include "suite/scsi/ScsiDevice.h"

#include "suite/ata/FakeDisk.h"
#include "suite/ata/RecordedBytes.h"
#include "suite/scsi/StorageTemperature.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace qelrlibscsi {
namespace {

using qelrlibata::testing::FakeDeviceBackend;
using qelrlibata::testing::FakeDisk;
using qelrlibata::testing::getStruct;
using qelrlibata::testing::recordedBytes;

HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0xB0));
constexpr DWORD kScsi = win32::kIoctlScsiPassThrough;
constexpr DWORD kProperty = IOCTL_STORAGE_QUERY_PROPERTY;

FakeDisk sasDisk() {
    FakeDisk disk;
    disk.ataPassThrough = false;
    disk.smartReceive = false;
    disk.scsiAtaPassThrough = false;
    disk.inquiry = recordedBytes("inquiry-sas-hdd.hex");
    disk.vpdPages[0x00] = recordedBytes("vpd00-sas-hdd.hex");
    disk.vpdPages[0x80] = recordedBytes("vpd80-sas-hdd.hex");
    disk.logPages[0x00] = recordedBytes("log00-sas-hdd.hex");
    disk.logPages[0x0D] = recordedBytes("log0d-sas-hdd.hex");
    return disk;
}

FakeDisk translatedSataDisk() {
    FakeDisk disk;
    disk.ataPassThrough = false;
    disk.smartReceive = false;
    disk.inquiry = recordedBytes("inquiry-sata-ssd-behind-sat.hex");
    disk.vpdPages[0x80] = recordedBytes("vpd80-sata-ssd-behind-sat.hex");
    disk.smartData = recordedBytes("smart-sata-ssd-behind-sat.hex");
    return disk;
}

// The CDB of each SCSI request, in order; other requests as their control code alone.
std::vector<std::vector<std::uint8_t>> sent(const FakeDeviceBackend& backend) {
    std::vector<std::vector<std::uint8_t>> result;
    for (const auto& request : backend.requests()) {
        if (request.code != kScsi) {
            result.push_back({static_cast<std::uint8_t>(request.code >> 8)});
            continue;
        }
        const auto header = getStruct<win32::ScsiPassThrough>(request.in, 0);
        result.emplace_back(header.Cdb, header.Cdb + header.CdbLength);
    }
    return result;
}

struct Reading {
    bool known;
    int current;
    int reference;
};

Reading read(const ScsiDevice& device) {
    Reading r{false, -1, -1};
    r.known = device.temperatureCelsius(r.current, r.reference);
    return r;
}

TEST(ScsiDevice, IdentityOfASasDisk) {
    const FakeDisk disk = sasDisk();
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(kDevice);
    const ScsiDevice device(handle);

    EXPECT_EQ(device.getVendorId(), "NEXSTOR ");
    EXPECT_EQ(device.getProductId(), "NX2400SAS12     ");
    EXPECT_EQ(device.getSerialNumber(), "        ZA1B2C3D0000C9264F7E");
    EXPECT_EQ(device.getProductRevisionLevel(), "A3C1");
    const std::vector<std::vector<std::uint8_t>> expected = {
        {0x12, 0, 0, 0, 96, 0},
        {0x12, 1, 0x00, 0, 255, 0},
        {0x12, 1, 0x80, 0, 255, 0},
        {0x4D, 0, 0x40, 0, 0, 0, 0, 0x02, 0x00, 0},
    };
    EXPECT_EQ(sent(backend), expected);
    // Identity is read once: asking for it again sends nothing.
    (void)device.getVendorId();
    (void)device.getSerialNumber();
    EXPECT_EQ(backend.requests().size(), expected.size());
}

TEST(ScsiDevice, IdentityWhenPagesAreMissing) {
    struct Case {
        const char* name;
        FakeDisk disk;
        const char* vendor;
        const char* serial;
        std::size_t requests;
    };
    FakeDisk noSerialListed = sasDisk();
    noSerialListed.vpdPages[0x00] = {0x00, 0x00, 0x00, 0x02, 0x00, 0x83};
    FakeDisk noPageList = sasDisk();
    noPageList.vpdPages.erase(0x00);
    FakeDisk noInquiry = sasDisk();
    noInquiry.inquiry.reset();
    FakeDisk hostileSerial = sasDisk();
    hostileSerial.vpdPages[0x80] = recordedBytes("vpd80-length-past-buffer.hex");
    FakeDisk shortInquiry = sasDisk();
    shortInquiry.inquiry = recordedBytes("inquiry-truncated-12.hex");
    const std::vector<Case> cases = {
        // The page list leaves 0x80 out: it is not asked for.
        {"serial page not listed", noSerialListed, "NEXSTOR ", "", 3},
        {"no page list", noPageList, "NEXSTOR ", "        ZA1B2C3D0000C9264F7E", 4},
        {"no INQUIRY data", noInquiry, "", "        ZA1B2C3D0000C9264F7E", 4},
        {"serial length past the page", hostileSerial, "NEXSTOR ", "ZA1B2C3D", 4},
        {"INQUIRY data cut short", shortInquiry, "", "        ZA1B2C3D0000C9264F7E", 4},
    };
    for (const auto& c : cases) {
        FakeDeviceBackend backend;
        c.disk.attach(backend);
        platform::ScopedBackend scope(backend);
        const qel::FileHandle handle(kDevice);
        const ScsiDevice device(handle);
        EXPECT_EQ(device.getVendorId(), c.vendor) << c.name;
        EXPECT_EQ(device.getSerialNumber(), c.serial) << c.name;
        EXPECT_EQ(backend.requests().size(), c.requests) << c.name;
    }
}

TEST(ScsiDevice, TemperatureSources) {
    struct Case {
        const char* name;
        FakeDisk disk;
        Reading expected;
        std::vector<std::vector<std::uint8_t>> sentForTemperature;
    };
    const std::vector<std::uint8_t> logSense0D = {0x4D, 0, 0x4D, 0, 0, 0, 0, 0x02, 0x00, 0};
    const std::vector<std::uint8_t> satSmart = {0x85, 0x08, 0x0E, 0, 0xD0, 0, 1,    0,
                                                1,    0,    0x4F, 0, 0xC2, 0, 0xB0, 0};
    const std::vector<std::uint8_t> property = {static_cast<std::uint8_t>(kProperty >> 8)};

    FakeDisk sasNoReading = sasDisk();
    sasNoReading.logPages[0x0D] = recordedBytes("log0d-no-reading.hex");
    sasNoReading.storageTemperature = recordedBytes("storagetemp-sata-ssd.hex");
    FakeDisk sasWithoutTemperatureLog = sasDisk();
    sasWithoutTemperatureLog.logPages[0x00] = {0x00, 0x00, 0x00, 0x02, 0x00, 0x02};
    sasWithoutTemperatureLog.storageTemperature = recordedBytes("storagetemp-nvme-ssd.hex");
    FakeDisk nvme;
    nvme.inquiry = recordedBytes("inquiry-sas-hdd.hex");
    nvme.storageTemperature = recordedBytes("storagetemp-nvme-ssd.hex");
    FakeDisk translatedNoSmart = translatedSataDisk();
    translatedNoSmart.scsiAtaPassThrough = false;
    translatedNoSmart.storageTemperature = recordedBytes("storagetemp-sata-ssd.hex");
    FakeDisk nothing = sasDisk();
    nothing.logPages.clear();
    FakeDisk unavailable = sasDisk();
    unavailable.logPages.erase(0x0D);
    unavailable.storageTemperature = recordedBytes("storagetemp-sensor-unavailable.hex");

    const std::vector<Case> cases = {
        {"log page", sasDisk(), {true, 38, 60}, {logSense0D}},
        {"log page without a reading", sasNoReading, {true, 35, -1}, {logSense0D, property}},
        // The disk listed its log pages without 0x0D: it is not asked for.
        {"temperature page not listed", sasWithoutTemperatureLog, {true, 43, -1}, {property}},
        // Not behind a translation layer: no SMART through ATA PASS-THROUGH.
        {"storage property", nvme, {true, 43, -1}, {logSense0D, property}},
        {"SMART through the translation layer",
         translatedSataDisk(),
         {true, 37, -1},
         {logSense0D, satSmart}},
        {"translation layer without SMART",
         translatedNoSmart,
         {true, 35, -1},
         {logSense0D, satSmart, property}},
        {"nothing answers", nothing, {false, -1, -1}, {logSense0D, property}},
        {"sensor unavailable", unavailable, {false, -1, -1}, {logSense0D, property}},
    };
    for (const auto& c : cases) {
        FakeDeviceBackend backend;
        c.disk.attach(backend);
        platform::ScopedBackend scope(backend);
        const qel::FileHandle handle(kDevice);
        const ScsiDevice device(handle);
        const std::size_t identityRequests = backend.requests().size();
        const Reading r = read(device);
        EXPECT_EQ(r.known, c.expected.known) << c.name;
        EXPECT_EQ(r.current, c.expected.current) << c.name;
        EXPECT_EQ(r.reference, c.expected.reference) << c.name;
        const auto all = sent(backend);
        const std::vector<std::vector<std::uint8_t>> forTemperature(
            all.begin() + static_cast<std::ptrdiff_t>(identityRequests), all.end());
        EXPECT_EQ(forTemperature, c.sentForTemperature) << c.name;
    }
}

TEST(ScsiDevice, TemperatureIsReadOnEveryCall) {
    FakeDisk disk = sasDisk();
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(kDevice);
    const ScsiDevice device(handle);
    EXPECT_EQ(read(device).current, 38);
    disk.logPages[0x0D] = recordedBytes("log0d-reference-first.hex");
    const Reading r = read(device);
    EXPECT_TRUE(r.known);
    EXPECT_EQ(r.current, 41);
    EXPECT_EQ(r.reference, 65);
    disk.logPages.erase(0x0D);
    EXPECT_FALSE(read(device).known);
}

std::vector<std::uint8_t> descriptorClaiming(std::uint32_t size) {
    auto data = recordedBytes("storagetemp-nvme-ssd.hex");
    std::memcpy(data.data() + 4, &size, sizeof(size));
    return data;
}

TEST(ScsiDevice, StoragePropertyBufferGrowthIsCapped) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> descriptor;
        std::size_t minimum;
        std::optional<int> celsius;
        std::vector<DWORD> outSizes;
    };
    const std::vector<Case> cases = {
        {"fits at once", recordedBytes("storagetemp-nvme-ssd.hex"), 0, 43, {512}},
        {"asked again with the full size", descriptorClaiming(2000), 2000, 43, {512, 8, 2000}},
        {"Size of 4 GiB is capped",
         descriptorClaiming(0xFFFFFFFF),
         0xFFFFFFFF,
         std::nullopt,
         {512, 8, 64 * 1024}},
        {"Size of 4 GiB, capped buffer accepted",
         descriptorClaiming(0xFFFFFFFF),
         4096,
         43,
         {512, 8, 64 * 1024}},
        // The driver wants more room yet claims the descriptor is small: give up.
        {"inconsistent Size", descriptorClaiming(100), 1000, std::nullopt, {512, 8}},
    };
    for (const auto& c : cases) {
        FakeDisk disk;
        disk.storageTemperature = c.descriptor;
        disk.storageTemperatureMinimum = c.minimum;
        FakeDeviceBackend backend;
        disk.attach(backend);
        platform::ScopedBackend scope(backend);
        const qel::FileHandle handle(kDevice);
        const ScsiDevice device(handle);
        const std::size_t identityRequests = backend.requests().size();
        int current = -1;
        int reference = -1;
        const bool known = device.temperatureCelsius(current, reference);
        EXPECT_EQ(known, c.celsius.has_value()) << c.name;
        if (c.celsius) {
            EXPECT_EQ(current, *c.celsius) << c.name;
        }
        std::vector<DWORD> outSizes;
        for (std::size_t i = identityRequests; i < backend.requests().size(); ++i) {
            if (backend.requests()[i].code == kProperty) {
                outSizes.push_back(backend.requests()[i].outSize);
                const auto query = getStruct<STORAGE_PROPERTY_QUERY>(backend.requests()[i].in, 0);
                EXPECT_EQ(query.PropertyId, StorageDeviceTemperatureProperty) << c.name;
                EXPECT_EQ(query.QueryType, PropertyStandardQuery) << c.name;
            }
        }
        EXPECT_EQ(outSizes, c.outSizes) << c.name;
    }
}

TEST(ScsiDevice, KeepsItsOwnReferenceToTheHandle) {
    const FakeDisk disk = sasDisk();
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    std::unique_ptr<ScsiDevice> device;
    {
        const qel::FileHandle handle(kDevice);
        device = std::make_unique<ScsiDevice>(handle);
        EXPECT_EQ(handle.getCount(), 2u);
    }
    EXPECT_EQ(backend.closes(kDevice), 0);
    EXPECT_TRUE(read(*device).known);
    device.reset();
    EXPECT_EQ(backend.closes(kDevice), 1);
}

TEST(ScsiDevice, InvalidHandleNeverAsks) {
    FakeDeviceBackend backend;
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(INVALID_HANDLE_VALUE);
    const ScsiDevice device(handle);
    EXPECT_TRUE(device.getVendorId().empty());
    EXPECT_FALSE(read(device).known);
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace qelrlibscsi
