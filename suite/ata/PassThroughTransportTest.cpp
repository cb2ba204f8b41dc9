#include "suite/ata/PassThroughTransport.h"

#include "platform/PassThrough.h"
#include "suite/ata/testing/FakeDisk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace qelrlibata {
namespace {

using testing::FakeDeviceBackend;
using testing::getStruct;
using testing::putStruct;

HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x44));
constexpr std::size_t kAtaHeader = sizeof(win32::AtaPassThroughEx);
constexpr std::size_t kSmartHeader = sizeof(win32::SendCmdOutParams);
constexpr std::size_t kScsiDataOffset = sizeof(win32::ScsiPassThrough) + 32;
const std::vector<std::uint8_t> kPayload(512, 0x5A);

// Answers with `size` payload bytes and a header claiming `length` of them; `status` is the ATA
// status, the SCSI status or the SMART driver error; `returned`, when set, overrides the count.
FakeDeviceBackend::Responder device(DWORD code, std::size_t size, std::uint32_t length,
                                    std::uint8_t status = 0, DWORD returned = 0) {
    return [=](DWORD, std::span<const std::uint8_t> in, std::span<std::uint8_t> out, DWORD& n) {
        std::size_t offset = kSmartHeader;
        if (code == win32::kIoctlAtaPassThrough) {
            auto header = getStruct<win32::AtaPassThroughEx>(in, 0);
            header.DataTransferLength = length;
            header.CurrentTaskFile[6] = static_cast<std::uint8_t>(0x50 | status);
            putStruct(out, 0, header);
            offset = kAtaHeader;
        } else if (code == win32::kIoctlScsiPassThrough) {
            auto header = getStruct<win32::ScsiPassThrough>(in, 0);
            header.ScsiStatus = status;
            header.DataTransferLength = length;
            putStruct(out, 0, header);
            offset = kScsiDataOffset;
        } else {
            win32::SendCmdOutParams header{};
            header.cBufferSize = length;
            header.bDriverError = status;
            putStruct(out, 0, header);
        }
        const std::size_t count = std::min(size, out.size() - offset);
        std::copy_n(kPayload.begin(), count, out.begin() + offset);
        n = returned != 0 ? returned : static_cast<DWORD>(offset + count);
        return true;
    };
}

TEST(PassThroughTransport, AnswersAndFailures) {
    constexpr DWORD ata = win32::kIoctlAtaPassThrough;
    constexpr DWORD smart = win32::kSmartRcvDriveData;
    constexpr DWORD scsi = win32::kIoctlScsiPassThrough;
    struct Case {
        const char* name;
        DWORD code;
        FakeDeviceBackend::Responder responder;
        std::optional<std::size_t> expected;
    };
    const std::vector<Case> cases = {
        {"ATA request fails", ata, {}, std::nullopt},
        {"ATA error bit", ata, device(ata, 512, 512, 0x01), std::nullopt},
        {"ATA nothing returned", ata, device(ata, 512, 512, 0, 1), std::nullopt},
        {"ATA length of 4 GiB", ata, device(ata, 512, 0xFFFFFFFF), 512},
        {"SMART driver error", smart, device(smart, 512, 512, 1), std::nullopt},
        {"SMART nothing returned", smart, device(smart, 512, 512, 0, 8), std::nullopt},
        {"SMART size of 4 GiB", smart, device(smart, 512, 0xFFFFFFFF), 512},
        {"SMART fewer returned than claimed", smart, device(smart, 512, 512, 0, 16 + 40), 40},
        {"SCSI request fails", scsi, {}, std::nullopt},
        {"SCSI check condition", scsi, device(scsi, 512, 512, 0x02), std::nullopt},
        {"SCSI underrun", scsi, device(scsi, 36, 36), 36},
        {"SCSI length of 4 GiB", scsi, device(scsi, 512, 0xFFFFFFFF), 512},
    };
    for (const auto& c : cases) {
        FakeDeviceBackend backend(c.responder);
        platform::ScopedBackend scope(backend);
        const PassThroughTransport transport(kDevice);
        std::vector<std::uint8_t> data(512, 0xCC);
        const auto got = c.code == ata ? transport.ataPassThrough(identifyDeviceTaskFile(), data)
                         : c.code == smart
                             ? transport.smartReceive(smartReadDataTaskFile(), data)
                             : transport.scsiAtaPassThrough(smartReadDataTaskFile(), data);
        EXPECT_EQ(got, c.expected) << c.name;
        ASSERT_EQ(backend.codes(), std::vector<DWORD>{c.code}) << c.name;
        // Whatever did not come back reads as zero, never as stale bytes.
        const auto filled = static_cast<std::ptrdiff_t>(got.value_or(0));
        EXPECT_EQ(std::count(data.begin() + filled, data.end(), 0), 512 - filled) << c.name;
    }
}

TEST(PassThroughTransport, BuildsTheRequestBlocks) {
    FakeDeviceBackend backend([](DWORD, auto, auto, DWORD&) { return false; });
    platform::ScopedBackend scope(backend);
    const PassThroughTransport transport(kDevice);
    std::array<std::uint8_t, 512> data{};
    (void)transport.ataPassThrough(identifyDeviceTaskFile(), data);
    (void)transport.smartReceive(smartReadDataTaskFile(), data);
    (void)transport.scsiAtaPassThrough(smartReadDataTaskFile(), data);
    const auto& requests = backend.requests();
    ASSERT_EQ(requests.size(), 3u);

    ASSERT_EQ(requests[0].in.size(), kAtaHeader + 512);
    EXPECT_EQ(requests[0].outSize, kAtaHeader + 512);
    const auto ata = getStruct<win32::AtaPassThroughEx>(requests[0].in, 0);
    EXPECT_EQ(ata.Length, kAtaHeader);
    EXPECT_EQ(ata.AtaFlags, win32::kAtaFlagsDrdyRequired | win32::kAtaFlagsDataIn);
    EXPECT_EQ(ata.DataBufferOffset, kAtaHeader);
    EXPECT_GT(ata.TimeOutValue, 0u);

    ASSERT_EQ(requests[1].in.size(), sizeof(win32::SendCmdInParams));
    EXPECT_EQ(requests[1].outSize, kSmartHeader + 512);
    const auto smart = getStruct<win32::SendCmdInParams>(requests[1].in, 0);
    EXPECT_EQ(smart.cBufferSize, 512u);
    const auto& regs = smart.irDriveRegs;
    EXPECT_EQ((std::array<int, 6>{regs.bFeaturesReg, regs.bSectorCountReg, regs.bCylLowReg,
                                  regs.bCylHighReg, regs.bDriveHeadReg, regs.bCommandReg}),
              (std::array<int, 6>{0xD0, 1, 0x4F, 0xC2, 0xA0, 0xB0}));

    ASSERT_EQ(requests[2].in.size(), kScsiDataOffset + 512);
    EXPECT_EQ(requests[2].outSize, kScsiDataOffset + 512);
    const auto scsi = getStruct<win32::ScsiPassThrough>(requests[2].in, 0);
    EXPECT_EQ(scsi.Length, sizeof(win32::ScsiPassThrough));
    EXPECT_EQ(scsi.DataIn, win32::kScsiIoctlDataIn);
    EXPECT_EQ(scsi.SenseInfoOffset, sizeof(win32::ScsiPassThrough));
    EXPECT_EQ(scsi.SenseInfoLength, 32);
}

TEST(PassThroughTransport, RefusesOversizedRequestsWithoutCallingTheDevice) {
    FakeDeviceBackend backend(device(win32::kIoctlAtaPassThrough, 512, 512));
    platform::ScopedBackend scope(backend);
    std::vector<std::uint8_t> big(PassThroughTransport::kMaxDataLength + 1);
    const PassThroughTransport transport(kDevice);
    EXPECT_FALSE(transport.ataPassThrough(identifyDeviceTaskFile(), big));
    EXPECT_FALSE(transport.scsiDataIn(std::array<std::uint8_t, 6>{0x12}, big));
    std::vector<std::uint8_t> twoSectors(1024);
    EXPECT_FALSE(transport.smartReceive(smartReadDataTaskFile(), twoSectors));
    EXPECT_FALSE(transport.scsiDataIn(std::span<const std::uint8_t>(), twoSectors));
    EXPECT_FALSE(transport.scsiDataIn(std::vector<std::uint8_t>(17, 0), twoSectors));
    EXPECT_TRUE(backend.requests().empty());
}

} // namespace
} // namespace qelrlibata
