#include "suite/ata/AtaDevice.h"

#include "suite/ata/FakeDisk.h"
#include "suite/ata/RecordedBytes.h"

#include <gtest/gtest.h>

namespace qelrlibata {
namespace {

using testing::FakeDeviceBackend;
using testing::FakeDisk;
using testing::recordedBytes;

HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x70));
constexpr DWORD kAta = win32::kIoctlAtaPassThrough;
constexpr DWORD kScsi = win32::kIoctlScsiPassThrough;

struct RouteCase {
    const char* name;
    bool ataPassThrough;
    bool scsiAtaPassThrough;
    const char* ataAnswer; // recorded IDENTIFY file, or null for no answer
    std::optional<ATA_PASSTHROUGH_TYPES> types;
    bool initialized;
    std::vector<DWORD> codes;
};

TEST(AtaDevice, TriesTheRoutesInOrder) {
    const RouteCase cases[] = {
        {"ATA pass-through", true, true, "identify-sata-ssd-512gb.hex", std::nullopt, true, {kAta}},
        {"translation layer only",
         false,
         true,
         "identify-sata-ssd-512gb.hex",
         std::nullopt,
         true,
         {kAta, kScsi}},
        {"no route",
         false,
         false,
         "identify-sata-ssd-512gb.hex",
         std::nullopt,
         false,
         {kAta, kScsi}},
        {"device aborts", true, true, nullptr, std::nullopt, false, {kAta, kScsi}},
        {"invalid answer on both",
         true,
         true,
         "identify-bad-checksum.hex",
         std::nullopt,
         false,
         {kAta, kScsi}},
        {"cut answer", true, true, "identify-truncated-64.hex", std::nullopt, false, {kAta, kScsi}},
        {"packet device", true, true, "identify-atapi-dvd.hex", std::nullopt, false, {kAta, kScsi}},
        {"only the translation layer allowed",
         true,
         true,
         "identify-sata-ssd-512gb.hex",
         ATA_PASSTHROUGH_TYPES{false, true},
         true,
         {kScsi}},
        {"only ATA pass-through allowed",
         false,
         true,
         "identify-sata-ssd-512gb.hex",
         ATA_PASSTHROUGH_TYPES{true, false},
         false,
         {kAta}},
        {"nothing allowed",
         true,
         true,
         "identify-sata-ssd-512gb.hex",
         ATA_PASSTHROUGH_TYPES{false, false},
         false,
         {}},
    };
    for (const auto& c : cases) {
        FakeDisk disk;
        disk.ataPassThrough = c.ataPassThrough;
        disk.scsiAtaPassThrough = c.scsiAtaPassThrough;
        if (c.ataAnswer != nullptr) {
            disk.identify = recordedBytes(c.ataAnswer);
        }
        FakeDeviceBackend backend;
        disk.attach(backend);
        platform::ScopedBackend scope(backend);
        const qel::FileHandle handle(kDevice);
        const AtaDevice device(handle, c.types ? &*c.types : nullptr);

        EXPECT_EQ(device.initialized(), c.initialized) << c.name;
        EXPECT_EQ(backend.codes(), c.codes) << c.name;
        if (c.initialized) {
            EXPECT_EQ(device.getModelNumber(), "SATA SSD NX500 512GB") << c.name;
            EXPECT_EQ(device.getSerialNumber(), "S3Z9NB0K123456A") << c.name;
            EXPECT_EQ(device.getFirmwareRevision(), "RVT04B6Q") << c.name;
        } else {
            EXPECT_TRUE(device.getModelNumber().empty()) << c.name;
            EXPECT_TRUE(device.getSerialNumber().empty()) << c.name;
            EXPECT_TRUE(device.getFirmwareRevision().empty()) << c.name;
        }
    }
}

TEST(AtaDevice, KeepsLeadingBlanksAndClampsTheReportedLength) {
    FakeDisk disk;
    disk.identify = recordedBytes("identify-sata-hdd-2tb.hex");
    disk.ataReportedLength = 0xFFFFFFFF;
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(kDevice);
    const AtaDevice device(handle, nullptr);
    ASSERT_TRUE(device.initialized());
    EXPECT_EQ(device.getModelNumber(), "HD2000 7200RPM 2TB");
    EXPECT_EQ(device.getSerialNumber(), "     ZX-WMC1T0123456");
    EXPECT_EQ(device.getFirmwareRevision(), "80.00A80");
}

TEST(AtaDevice, InteriorNulBecomesABlank) {
    auto block = recordedBytes("identify-sata-ssd-512gb.hex");
    block[55] = 0; // first model character (high byte of word 27)
    block[511] = static_cast<std::uint8_t>(block[511] + 'S');
    FakeDisk disk;
    disk.identify = block;
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(kDevice);
    const AtaDevice device(handle, nullptr);
    ASSERT_TRUE(device.initialized());
    EXPECT_EQ(device.getModelNumber(), " ATA SSD NX500 512GB");
}

TEST(AtaDevice, DoesNotKeepTheHandle) {
    FakeDisk disk;
    disk.identify = recordedBytes("identify-sata-ssd-512gb.hex");
    FakeDeviceBackend backend;
    disk.attach(backend);
    platform::ScopedBackend scope(backend);
    {
        const qel::FileHandle handle(kDevice);
        {
            const AtaDevice device(handle, nullptr);
            EXPECT_EQ(handle.getCount(), 1u);
        }
        EXPECT_EQ(backend.closes(kDevice), 0);
    }
    EXPECT_EQ(backend.closes(kDevice), 1);
}

TEST(AtaDevice, InvalidHandleSendsNothing) {
    FakeDeviceBackend backend;
    platform::ScopedBackend scope(backend);
    const qel::FileHandle handle(INVALID_HANDLE_VALUE);
    const AtaDevice device(handle, nullptr);
    EXPECT_FALSE(device.initialized());
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace qelrlibata
