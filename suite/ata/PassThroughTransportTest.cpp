#include "suite/ata/PassThroughTransport.h"

#include "platform/PassThrough.h"
#include "suite/ata/FakeDeviceBackend.h"

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

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    return bytes;
}

// A device that answers an ATA pass-through with `payload`, reporting `reportedLength` data
// bytes and `status` in the task file.
FakeDeviceBackend::Responder ataDevice(std::vector<std::uint8_t> payload,
                                       std::uint32_t reportedLength, std::uint8_t status = 0x50,
                                       DWORD returned = 0) {
    return [=](DWORD, std::span<const std::uint8_t> in, std::span<std::uint8_t> out, DWORD& count) {
        auto header = getStruct<win32::AtaPassThroughEx>(in, 0);
        const std::size_t n = std::min(payload.size(), out.size() - kAtaHeader);
        std::copy_n(payload.begin(), n, out.begin() + kAtaHeader);
        header.DataTransferLength = reportedLength;
        header.CurrentTaskFile[6] = status;
        putStruct(out, 0, header);
        count = returned != 0 ? returned : static_cast<DWORD>(kAtaHeader + n);
        return true;
    };
}

TEST(AtaPassThroughTransport, BuildsTheRequestBlock) {
    FakeDeviceBackend backend(ataDevice(pattern(512), 512));
    platform::ScopedBackend scope(backend);
    std::array<std::uint8_t, 512> data{};
    const auto got = PassThroughTransport(kDevice).ataPassThrough(identifyDeviceTaskFile(), data);

    ASSERT_EQ(got, 512u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), pattern(512).begin()));
    ASSERT_EQ(backend.requests().size(), 1u);
    const auto& request = backend.requests()[0];
    EXPECT_EQ(request.device, kDevice);
    EXPECT_EQ(request.code, win32::kIoctlAtaPassThrough);
    ASSERT_EQ(request.in.size(), kAtaHeader + 512);
    EXPECT_EQ(request.outSize, kAtaHeader + 512);
    const auto header = getStruct<win32::AtaPassThroughEx>(request.in, 0);
    EXPECT_EQ(header.Length, kAtaHeader);
    EXPECT_EQ(header.AtaFlags, win32::kAtaFlagsDrdyRequired | win32::kAtaFlagsDataIn);
    EXPECT_EQ(header.DataTransferLength, 512u);
    EXPECT_EQ(header.DataBufferOffset, kAtaHeader);
    EXPECT_GT(header.TimeOutValue, 0u);
    const auto task = identifyDeviceTaskFile().bytes();
    EXPECT_TRUE(std::equal(task.begin(), task.end(), header.CurrentTaskFile));
}

TEST(AtaPassThroughTransport, AnswersAndFailures) {
    struct Case {
        const char* name;
        FakeDeviceBackend::Responder responder;
        std::optional<std::size_t> expected;
    };
    const std::vector<Case> cases = {
        {"request fails", {}, std::nullopt},
        {"error bit in status", ataDevice(pattern(512), 512, 0x51), std::nullopt},
        {"nothing returned", ataDevice(pattern(512), 512, 0x50, 1), std::nullopt},
        {"short transfer", ataDevice(pattern(100), 100), 100},
        {"length of 4 GiB is clamped", ataDevice(pattern(512), 0xFFFFFFFF), 512},
        {"header only", ataDevice({}, 0), 0},
    };
    for (const auto& c : cases) {
        FakeDeviceBackend backend(c.responder);
        platform::ScopedBackend scope(backend);
        std::vector<std::uint8_t> data(512, 0xCC);
        const auto got =
            PassThroughTransport(kDevice).ataPassThrough(identifyDeviceTaskFile(), data);
        EXPECT_EQ(got, c.expected) << c.name;
        // Whatever did not come back reads as zero, never as stale bytes.
        const std::size_t filled = got.value_or(0);
        EXPECT_TRUE(std::all_of(data.begin() + static_cast<std::ptrdiff_t>(filled), data.end(),
                                [](std::uint8_t b) { return b == 0; }))
            << c.name;
    }
}

TEST(PassThroughTransport, RefusesOversizedRequestsWithoutCallingTheDevice) {
    FakeDeviceBackend backend(ataDevice(pattern(512), 512));
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

FakeDeviceBackend::Responder smartDevice(std::vector<std::uint8_t> payload,
                                         std::uint32_t bufferSize, std::uint8_t driverError = 0,
                                         std::uint8_t ideError = 0, DWORD returned = 0) {
    return [=](DWORD, std::span<const std::uint8_t>, std::span<std::uint8_t> out, DWORD& count) {
        win32::SendCmdOutParams header{};
        header.cBufferSize = bufferSize;
        header.bDriverError = driverError;
        header.bIDEError = ideError;
        putStruct(out, 0, header);
        const std::size_t n = std::min(payload.size(), out.size() - kSmartHeader);
        std::copy_n(payload.begin(), n, out.begin() + kSmartHeader);
        count = returned != 0 ? returned : static_cast<DWORD>(kSmartHeader + n);
        return true;
    };
}

TEST(SmartReceiveTransport, BuildsTheRequest) {
    FakeDeviceBackend backend(smartDevice(pattern(512), 512));
    platform::ScopedBackend scope(backend);
    std::array<std::uint8_t, 512> data{};
    ASSERT_EQ(PassThroughTransport(kDevice).smartReceive(smartReadDataTaskFile(), data), 512u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), pattern(512).begin()));

    const auto& request = backend.requests().at(0);
    EXPECT_EQ(request.code, win32::kSmartRcvDriveData);
    ASSERT_EQ(request.in.size(), sizeof(win32::SendCmdInParams));
    EXPECT_EQ(request.outSize, kSmartHeader + 512);
    const auto in = getStruct<win32::SendCmdInParams>(request.in, 0);
    EXPECT_EQ(in.cBufferSize, 512u);
    EXPECT_EQ(in.bDriveNumber, 0);
    EXPECT_EQ(in.irDriveRegs.bFeaturesReg, 0xD0);
    EXPECT_EQ(in.irDriveRegs.bSectorCountReg, 1);
    EXPECT_EQ(in.irDriveRegs.bCylLowReg, 0x4F);
    EXPECT_EQ(in.irDriveRegs.bCylHighReg, 0xC2);
    EXPECT_EQ(in.irDriveRegs.bDriveHeadReg, 0xA0);
    EXPECT_EQ(in.irDriveRegs.bCommandReg, 0xB0);
}

TEST(SmartReceiveTransport, AnswersAndFailures) {
    struct Case {
        const char* name;
        FakeDeviceBackend::Responder responder;
        std::optional<std::size_t> expected;
    };
    const std::vector<Case> cases = {
        {"request fails", {}, std::nullopt},
        {"driver error", smartDevice(pattern(512), 512, 1), std::nullopt},
        {"device error", smartDevice(pattern(512), 512, 0, 0x04), std::nullopt},
        {"nothing returned", smartDevice(pattern(512), 512, 0, 0, 8), std::nullopt},
        {"buffer size of 4 GiB is clamped", smartDevice(pattern(512), 0xFFFFFFFF), 512},
        {"fewer bytes returned than claimed", smartDevice(pattern(512), 512, 0, 0, 16 + 40), 40},
        {"smaller buffer size claimed", smartDevice(pattern(512), 200), 200},
    };
    for (const auto& c : cases) {
        FakeDeviceBackend backend(c.responder);
        platform::ScopedBackend scope(backend);
        std::vector<std::uint8_t> data(512, 0xCC);
        const auto got = PassThroughTransport(kDevice).smartReceive(smartReadDataTaskFile(), data);
        EXPECT_EQ(got, c.expected) << c.name;
        const std::size_t filled = got.value_or(0);
        EXPECT_TRUE(std::all_of(data.begin() + static_cast<std::ptrdiff_t>(filled), data.end(),
                                [](std::uint8_t b) { return b == 0; }))
            << c.name;
    }
}

FakeDeviceBackend::Responder scsiDevice(std::vector<std::uint8_t> payload,
                                        std::uint32_t reportedLength, std::uint8_t status = 0) {
    return [=](DWORD, std::span<const std::uint8_t> in, std::span<std::uint8_t> out, DWORD& count) {
        auto header = getStruct<win32::ScsiPassThrough>(in, 0);
        const std::size_t n = std::min(payload.size(), out.size() - kScsiDataOffset);
        std::copy_n(payload.begin(), n, out.begin() + kScsiDataOffset);
        header.ScsiStatus = status;
        header.DataTransferLength = reportedLength;
        putStruct(out, 0, header);
        count = static_cast<DWORD>(kScsiDataOffset + n);
        return true;
    };
}

TEST(ScsiPassThroughTransport, BuildsTheRequestBlock) {
    FakeDeviceBackend backend(scsiDevice(pattern(96), 96));
    platform::ScopedBackend scope(backend);
    std::array<std::uint8_t, 96> data{};
    const std::array<std::uint8_t, 6> cdb{0x12, 0, 0, 0, 96, 0};
    ASSERT_EQ(PassThroughTransport(kDevice).scsiDataIn(cdb, data), 96u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), pattern(96).begin()));

    const auto& request = backend.requests().at(0);
    EXPECT_EQ(request.code, win32::kIoctlScsiPassThrough);
    ASSERT_EQ(request.in.size(), kScsiDataOffset + 96);
    EXPECT_EQ(request.outSize, kScsiDataOffset + 96);
    const auto header = getStruct<win32::ScsiPassThrough>(request.in, 0);
    EXPECT_EQ(header.Length, sizeof(win32::ScsiPassThrough));
    EXPECT_EQ(header.CdbLength, 6);
    EXPECT_EQ(header.DataIn, win32::kScsiIoctlDataIn);
    EXPECT_EQ(header.DataTransferLength, 96u);
    EXPECT_EQ(header.DataBufferOffset, kScsiDataOffset);
    EXPECT_EQ(header.SenseInfoOffset, sizeof(win32::ScsiPassThrough));
    EXPECT_EQ(header.SenseInfoLength, 32);
    EXPECT_TRUE(std::equal(cdb.begin(), cdb.end(), header.Cdb));
}

TEST(ScsiPassThroughTransport, AnswersAndFailures) {
    struct Case {
        const char* name;
        FakeDeviceBackend::Responder responder;
        std::optional<std::size_t> expected;
    };
    const std::vector<Case> cases = {
        {"request fails", {}, std::nullopt},
        {"check condition", scsiDevice(pattern(96), 96, 0x02), std::nullopt},
        {"busy", scsiDevice(pattern(96), 96, 0x08), std::nullopt},
        {"underrun", scsiDevice(pattern(36), 36), 36},
        {"length of 4 GiB is clamped", scsiDevice(pattern(96), 0xFFFFFFFF), 96},
    };
    for (const auto& c : cases) {
        FakeDeviceBackend backend(c.responder);
        platform::ScopedBackend scope(backend);
        std::vector<std::uint8_t> data(96, 0xCC);
        const auto got = PassThroughTransport(kDevice).scsiDataIn(
            std::array<std::uint8_t, 6>{0x12, 0, 0, 0, 96, 0}, data);
        EXPECT_EQ(got, c.expected) << c.name;
        const std::size_t filled = got.value_or(0);
        EXPECT_TRUE(std::all_of(data.begin() + static_cast<std::ptrdiff_t>(filled), data.end(),
                                [](std::uint8_t b) { return b == 0; }))
            << c.name;
    }
}

TEST(ScsiAtaPassThroughTransport, SendsTheWrappedCommand) {
    FakeDeviceBackend backend(scsiDevice(pattern(512), 512));
    platform::ScopedBackend scope(backend);
    std::array<std::uint8_t, 512> data{};
    ASSERT_EQ(PassThroughTransport(kDevice).scsiAtaPassThrough(smartReadDataTaskFile(), data),
              512u);
    const auto header = getStruct<win32::ScsiPassThrough>(backend.requests().at(0).in, 0);
    const auto cdb = ataPassThrough16Cdb(smartReadDataTaskFile());
    EXPECT_EQ(header.CdbLength, 16);
    EXPECT_TRUE(std::equal(cdb.begin(), cdb.end(), header.Cdb));
    EXPECT_EQ(header.DataTransferLength, 512u);
}

} // namespace
} // namespace qelrlibata
