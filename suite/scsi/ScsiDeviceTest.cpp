#include "suite/scsi/ScsiDevice.h"

#include "suite/ata/testing/FakeDisk.h"
#include "suite/ata/testing/RecordedBytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qelrlibscsi {
namespace {

using qelrlibata::testing::FakeDeviceBackend;
using qelrlibata::testing::FakeDisk;
using qelrlibata::testing::getStruct;
using qelrlibata::testing::recordedBytes;
using Bytes = std::vector<std::uint8_t>;

HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0xB0));
constexpr DWORD kScsi = win32::kIoctlScsiPassThrough;
constexpr DWORD kProperty = IOCTL_STORAGE_QUERY_PROPERTY;
const Bytes kLogSense0D = {0x4D, 0, 0x4D, 0, 0, 0, 0, 0x02, 0x00, 0};
const Bytes kSatSmart = {0x85, 0x08, 0x0E, 0, 0xD0, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0};
const Bytes kPropertyQuery = {static_cast<std::uint8_t>(kProperty >> 8)};

FakeDisk sasDisk() {
    FakeDisk disk;
    disk.ataPassThrough = disk.smartReceive = disk.scsiAtaPassThrough = false;
    disk.inquiry = recordedBytes("inquiry-sas-hdd.hex");
    disk.vpdPages[0x00] = recordedBytes("vpd00-sas-hdd.hex");
    disk.vpdPages[0x80] = recordedBytes("vpd80-sas-hdd.hex");
    disk.logPages[0x00] = recordedBytes("log00-sas-hdd.hex");
    disk.logPages[0x0D] = recordedBytes("log0d-sas-hdd.hex");
    return disk;
}

// `disk` installed as the backend, and a device made on it; `identity` counts its requests.
struct Rig : qelrlibata::testing::AttachedDisk {
    explicit Rig(FakeDisk answers) : AttachedDisk(std::move(answers), kDevice) {}
    const ScsiDevice device{handle};
    const std::size_t identity = backend.requests().size();

    // The CDB of each SCSI request since `from`; other requests as their control code alone.
    std::vector<Bytes> sent(std::size_t from = 0) const {
        std::vector<Bytes> result;
        for (std::size_t i = from; i < backend.requests().size(); ++i) {
            const auto& request = backend.requests()[i];
            if (request.code != kScsi) {
                result.push_back({static_cast<std::uint8_t>(request.code >> 8)});
                continue;
            }
            const auto header = getStruct<win32::ScsiPassThrough>(request.in, 0);
            result.emplace_back(header.Cdb, header.Cdb + header.CdbLength);
        }
        return result;
    }
    std::pair<int, int> read(bool& known) const {
        int current = -1, reference = -1;
        known = device.temperatureCelsius(current, reference);
        return {current, reference};
    }
};

TEST(ScsiDevice, IdentityIsReadOnce) {
    const Rig rig(sasDisk());
    EXPECT_EQ(rig.device.getVendorId(), "NEXSTOR ");
    EXPECT_EQ(rig.device.getProductId(), "NX2400SAS12     ");
    EXPECT_EQ(rig.device.getSerialNumber(), "        ZA1B2C3D0000C9264F7E");
    EXPECT_EQ(rig.device.getProductRevisionLevel(), "A3C1");
    EXPECT_EQ(rig.sent(), (std::vector<Bytes>{{0x12, 0, 0, 0, 96, 0},
                                              {0x12, 1, 0x00, 0, 255, 0},
                                              {0x12, 1, 0x80, 0, 255, 0},
                                              {0x4D, 0, 0x40, 0, 0, 0, 0, 0x02, 0x00, 0}}));
}

TEST(ScsiDevice, IdentityWhenPagesAreMissing) {
    const char* const serial = "        ZA1B2C3D0000C9264F7E";
    std::vector<std::pair<FakeDisk, const char*>> cases(4, {sasDisk(), serial});
    // The page list leaves 0x80 out: it is not asked for.
    cases[0].first.vpdPages[0x00] = {0x00, 0x00, 0x00, 0x02, 0x00, 0x83};
    cases[0].second = "";
    cases[1].first.vpdPages.erase(0x00);
    cases[2].first.vpdPages[0x80] = recordedBytes("vpd80-length-past-buffer.hex");
    cases[2].second = "ZA1B2C3D";
    cases[3].first.inquiry = recordedBytes("inquiry-truncated-12.hex");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Rig rig(cases[i].first);
        EXPECT_EQ(rig.device.getSerialNumber(), cases[i].second) << i;
        EXPECT_EQ(rig.device.getVendorId(), i == 3 ? "" : "NEXSTOR ") << i;
        EXPECT_EQ(rig.identity, i == 0 ? 3u : 4u) << i;
    }
}

TEST(ScsiDevice, TemperatureSources) {
    struct Case {
        const char* name;
        FakeDisk disk;
        int current, reference; // -1: none
        std::vector<Bytes> sent;
    };
    FakeDisk noReading = sasDisk();
    noReading.logPages[0x0D] = recordedBytes("log0d-no-reading.hex");
    noReading.storageTemperature = recordedBytes("storagetemp-sata-ssd.hex");
    FakeDisk notListed = sasDisk();
    notListed.logPages[0x00] = {0x00, 0x00, 0x00, 0x02, 0x00, 0x02};
    notListed.storageTemperature = recordedBytes("storagetemp-nvme-ssd.hex");
    FakeDisk nvme;
    nvme.inquiry = recordedBytes("inquiry-sas-hdd.hex");
    nvme.storageTemperature = recordedBytes("storagetemp-nvme-ssd.hex");
    FakeDisk translated;
    translated.ataPassThrough = translated.smartReceive = false;
    translated.inquiry = recordedBytes("inquiry-sata-ssd-behind-sat.hex");
    translated.smartData = recordedBytes("smart-sata-ssd-behind-sat.hex");
    FakeDisk translatedNoSmart = translated;
    translatedNoSmart.scsiAtaPassThrough = false;
    translatedNoSmart.storageTemperature = recordedBytes("storagetemp-sata-ssd.hex");
    FakeDisk unavailable = sasDisk();
    unavailable.logPages.erase(0x0D);
    unavailable.storageTemperature = recordedBytes("storagetemp-sensor-unavailable.hex");

    const std::vector<Case> cases = {
        {"log page", sasDisk(), 38, 60, {kLogSense0D}},
        {"log page without a reading", noReading, 35, -1, {kLogSense0D, kPropertyQuery}},
        {"temperature page not listed", notListed, 43, -1, {kPropertyQuery}},
        // Not behind a translation layer: no SMART through ATA PASS-THROUGH.
        {"storage property", nvme, 43, -1, {kLogSense0D, kPropertyQuery}},
        {"SMART through translation", translated, 37, -1, {kLogSense0D, kSatSmart}},
        {"translation without SMART",
         translatedNoSmart,
         35,
         -1,
         {kLogSense0D, kSatSmart, kPropertyQuery}},
        {"sensor unavailable", unavailable, -1, -1, {kLogSense0D, kPropertyQuery}},
    };
    for (const auto& c : cases) {
        const Rig rig(c.disk);
        bool known = false;
        EXPECT_EQ(rig.read(known), std::make_pair(c.current, c.reference)) << c.name;
        EXPECT_EQ(known, c.current != -1) << c.name;
        EXPECT_EQ(rig.sent(rig.identity), c.sent) << c.name;
    }
}

TEST(ScsiDevice, TemperatureIsReadOnEveryCall) {
    Rig rig(sasDisk());
    bool known = false;
    EXPECT_EQ(rig.read(known).first, 38);
    rig.disk.logPages[0x0D] = recordedBytes("log0d-reference-first.hex");
    EXPECT_EQ(rig.read(known), std::make_pair(41, 65));
    rig.disk.logPages.erase(0x0D);
    rig.read(known);
    EXPECT_FALSE(known);
}

TEST(ScsiDevice, StoragePropertyBufferGrowthIsCapped) {
    struct Case {
        const char* name;
        std::uint32_t size;
        std::size_t minimum;
        bool known;
        std::vector<DWORD> outSizes;
    };
    const Case cases[] = {
        {"fits at once", 72, 0, true, {512}},
        {"asked again with the full size", 2000, 2000, true, {512, 8, 2000}},
        {"Size of 4 GiB is capped", 0xFFFFFFFF, 0xFFFFFFFF, false, {512, 8, 64 * 1024}},
        {"capped buffer accepted", 0xFFFFFFFF, 4096, true, {512, 8, 64 * 1024}},
        // The driver wants more room yet claims the descriptor is small: give up.
        {"inconsistent Size", 100, 1000, false, {512, 8}},
    };
    for (const auto& c : cases) {
        FakeDisk disk;
        disk.storageTemperature = recordedBytes("storagetemp-nvme-ssd.hex");
        std::memcpy(disk.storageTemperature->data() + 4, &c.size, sizeof(c.size));
        disk.storageTemperatureMinimum = c.minimum;
        const Rig rig(disk);
        bool known = false;
        EXPECT_EQ(rig.read(known).first, c.known ? 43 : -1) << c.name;
        std::vector<DWORD> outSizes;
        for (const auto& request : rig.backend.requests()) {
            if (request.code == kProperty) {
                outSizes.push_back(request.outSize);
                EXPECT_EQ(getStruct<STORAGE_PROPERTY_QUERY>(request.in, 0).QueryType,
                          PropertyStandardQuery);
            }
        }
        EXPECT_EQ(outSizes, c.outSizes) << c.name;
    }
}

TEST(ScsiDevice, InvalidHandleNeverAsks) {
    FakeDeviceBackend backend;
    platform::ScopedBackend scope(backend);
    const ScsiDevice device{qel::FileHandle(INVALID_HANDLE_VALUE)};
    int current = -1, reference = -1;
    EXPECT_FALSE(device.temperatureCelsius(current, reference));
    EXPECT_TRUE(device.getVendorId().empty());
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace qelrlibscsi
