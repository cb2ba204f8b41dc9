#include "suite/ata/AtaDevice.h"

#include "suite/ata/testing/FakeDisk.h"
#include "suite/ata/testing/RecordedBytes.h"

#include <gtest/gtest.h>

namespace qelrlibata {
namespace {

using testing::AttachedDisk;
using testing::FakeDeviceBackend;
using testing::FakeDisk;
using testing::recordedBytes;

HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x70));
constexpr DWORD kAta = win32::kIoctlAtaPassThrough;
constexpr DWORD kScsi = win32::kIoctlScsiPassThrough;

TEST(AtaDevice, TriesTheRoutesInOrder) {
    struct Case {
        const char* name;
        bool ataRoute;
        const char* answer; // recorded IDENTIFY file, or null when the device aborts
        std::optional<ATA_PASSTHROUGH_TYPES> types;
        bool initialized;
        std::vector<DWORD> codes;
    };
    const char* const ssd = "identify-sata-ssd-512gb.hex";
    const Case cases[] = {
        {"ATA pass-through", true, ssd, std::nullopt, true, {kAta}},
        {"translation layer only", false, ssd, std::nullopt, true, {kAta, kScsi}},
        {"device aborts", true, nullptr, std::nullopt, false, {kAta, kScsi}},
        // An answer that does not decode (as Identify.RecordedDrives rejects it) tries the next.
        {"cut answer", true, "identify-truncated-64.hex", std::nullopt, false, {kAta, kScsi}},
        {"translation allowed", true, ssd, ATA_PASSTHROUGH_TYPES{false, true}, true, {kScsi}},
        {"ATA allowed", false, ssd, ATA_PASSTHROUGH_TYPES{true, false}, false, {kAta}},
        {"nothing allowed", true, ssd, ATA_PASSTHROUGH_TYPES{false, false}, false, {}},
    };
    for (const auto& c : cases) {
        AttachedDisk rig(FakeDisk(), kDevice);
        rig.disk.ataPassThrough = c.ataRoute;
        if (c.answer != nullptr) {
            rig.disk.identify = recordedBytes(c.answer);
        }
        const AtaDevice device(rig.handle, c.types ? &*c.types : nullptr);
        EXPECT_EQ(device.initialized(), c.initialized) << c.name;
        EXPECT_EQ(rig.backend.codes(), c.codes) << c.name;
        EXPECT_EQ(device.getSerialNumber(), c.initialized ? "S3Z9NB0K123456A" : "") << c.name;
    }
}

TEST(AtaDevice, ClampsTheReportedLengthAndBlanksInteriorNul) {
    auto block = recordedBytes("identify-sata-ssd-512gb.hex");
    block[55] = 0; // first model character (high byte of word 27)
    block[511] = static_cast<std::uint8_t>(block[511] + 'S');
    AttachedDisk rig(FakeDisk(), kDevice);
    rig.disk.identify = block;
    rig.disk.ataReportedLength = 0xFFFFFFFF;
    const AtaDevice device(rig.handle, nullptr);
    ASSERT_TRUE(device.initialized());
    EXPECT_EQ(device.getModelNumber(), " ATA SSD NX500 512GB");
    EXPECT_EQ(device.getFirmwareRevision(), "RVT04B6Q");
}

TEST(AtaDevice, DoesNotKeepTheHandle) {
    AttachedDisk rig(FakeDisk(), kDevice);
    rig.disk.identify = recordedBytes("identify-sata-ssd-512gb.hex");
    {
        const AtaDevice device(rig.handle, nullptr);
        EXPECT_EQ(rig.handle.getCount(), 1u);
    }
    rig.handle.release(); // the only close
    EXPECT_EQ(rig.backend.closes(kDevice), 1);
}

TEST(AtaDevice, InvalidHandleSendsNothing) {
    FakeDeviceBackend backend;
    platform::ScopedBackend scope(backend);
    const AtaDevice device(qel::FileHandle(INVALID_HANDLE_VALUE), nullptr);
    EXPECT_FALSE(device.initialized());
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace qelrlibata
