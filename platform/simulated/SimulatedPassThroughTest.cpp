#include "platform/simulated/SimulatedMachine.h"

#include "platform/PassThrough.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace platform::simulated {
namespace {

using win32::AtaPassThroughEx;
using win32::ScsiPassThrough;
using win32::SendCmdInParams;
using win32::SendCmdOutParams;

const char* const kMachine = R"({"disks": {
    "ata": {"ata": {"identify": {"model": "Acme SSD 512GB", "serial": "S123", "firmware": "1.0"},
                    "smart": {"temperature": 38}}},
    "ataNoSmart": {"ata": {"identify": {"model": "Old"}}},
    "scsi": {"scsi": {"inquiry": {"vendor": "ACME", "product": "Disk", "revision": "A1"},
                      "serial": "SN42", "temperature": 35}},
    "bare": {}
}})";

constexpr std::uint8_t kGuard = 0xEE;

template <typename T> T headerOf(const std::vector<std::uint8_t>& block) {
    T value;
    std::memcpy(&value, block.data(), sizeof(T));
    return value;
}

class PassThrough : public testing::Test {
protected:
    HANDLE open(const char16_t* name) {
        const HANDLE handle = win32::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                                 OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE);
        handles_.push_back(handle);
        return handle;
    }

    void TearDown() override {
        for (const HANDLE handle : handles_) {
            EXPECT_TRUE(win32::CloseHandle(handle));
        }
        EXPECT_EQ(machine_.openHandleCount(), 0u);
    }

    // An ATA_PASS_THROUGH_EX block: header, then `dataLength` bytes of data and 16 guard bytes.
    std::vector<std::uint8_t> ataBlock(std::uint8_t command, std::uint8_t features,
                                       std::uint32_t dataLength,
                                       std::uint16_t flags = win32::kAtaFlagsDataIn) {
        AtaPassThroughEx request{};
        request.Length = sizeof(request);
        request.AtaFlags = flags;
        request.DataTransferLength = dataLength;
        request.DataBufferOffset = sizeof(request);
        const std::uint8_t task[8] = {features, 1, 0, 0x4F, 0xC2, 0xA0, command, 0};
        std::memcpy(request.CurrentTaskFile, task, sizeof(task));
        std::vector<std::uint8_t> block(sizeof(request) + dataLength + 16, kGuard);
        std::memcpy(block.data(), &request, sizeof(request));
        return block;
    }

    BOOL send(HANDLE handle, DWORD code, std::vector<std::uint8_t>& block, DWORD* returned,
              DWORD outSize = 0) {
        const auto size = static_cast<DWORD>(block.size() - 16);
        return win32::DeviceIoControl(handle, code, block.data(), size, block.data(),
                                      outSize == 0 ? size : outSize, returned, nullptr);
    }

    SimulatedMachine machine_ = SimulatedMachine::fromJson(kMachine);
    ScopedBackend installed_{machine_};
    std::vector<HANDLE> handles_;
};

TEST_F(PassThrough, AtaAnswersWithinTheTransferLength) {
    const HANDLE disk = open(u"ata");
    auto block = ataBlock(0xEC, 0, 100);
    DWORD returned = 0;
    ASSERT_TRUE(send(disk, win32::kIoctlAtaPassThrough, block, &returned));
    const auto answer = headerOf<AtaPassThroughEx>(block);
    EXPECT_EQ(answer.DataTransferLength, 100u);
    EXPECT_EQ(answer.CurrentTaskFile[6], 0x50); // status
    EXPECT_EQ(returned, sizeof(AtaPassThroughEx) + 100);
    EXPECT_EQ(block[sizeof(AtaPassThroughEx) + 55], 'A'); // the model's first character
    EXPECT_EQ(block[block.size() - 16], kGuard);

    auto smart = ataBlock(0xB0, 0xD0, 512);
    ASSERT_TRUE(send(disk, win32::kIoctlAtaPassThrough, smart, &returned));
    EXPECT_EQ(smart[sizeof(AtaPassThroughEx) + 7], 38);

    // A command the drive rejects still succeeds as a request, with ERR and ABRT set.
    auto rejected = ataBlock(0xB0, 0xD0, 512);
    ASSERT_TRUE(send(open(u"ataNoSmart"), win32::kIoctlAtaPassThrough, rejected, &returned));
    EXPECT_EQ(headerOf<AtaPassThroughEx>(rejected).CurrentTaskFile[6], 0x51);
    EXPECT_EQ(headerOf<AtaPassThroughEx>(rejected).CurrentTaskFile[0], 0x04);
    EXPECT_EQ(returned, sizeof(AtaPassThroughEx));
    EXPECT_EQ(rejected[sizeof(AtaPassThroughEx)], kGuard);
}

// A SCSI_PASS_THROUGH block: header, 32 bytes of sense, `dataLength` bytes of data, 16 guards.
std::vector<std::uint8_t> scsiBlock(std::initializer_list<std::uint8_t> cdb,
                                    std::uint32_t dataLength,
                                    std::uint8_t direction = win32::kScsiIoctlDataIn) {
    ScsiPassThrough request{};
    request.Length = sizeof(request);
    request.CdbLength = static_cast<std::uint8_t>(cdb.size());
    request.SenseInfoLength = 32;
    request.SenseInfoOffset = sizeof(request);
    request.DataIn = direction;
    request.DataTransferLength = dataLength;
    request.DataBufferOffset = sizeof(request) + 32;
    std::copy(cdb.begin(), cdb.end(), request.Cdb);
    std::vector<std::uint8_t> block(sizeof(request) + 32 + dataLength + 16, kGuard);
    std::memcpy(block.data(), &request, sizeof(request));
    return block;
}

constexpr std::size_t kScsiData = sizeof(ScsiPassThrough) + 32;

TEST_F(PassThrough, RequestsThatFail) {
    struct Case {
        const char* name;
        const char16_t* disk;
        DWORD code;
        std::vector<std::uint8_t> block;
        DWORD error;
    };
    auto badLength = ataBlock(0xEC, 0, 512);
    badLength[0] = 40;
    const Case cases[] = {
        {"ATA on a SCSI disk", u"scsi", win32::kIoctlAtaPassThrough, ataBlock(0xEC, 0, 512),
         ERROR_INVALID_FUNCTION},
        {"no command set", u"bare", win32::kIoctlScsiPassThrough,
         scsiBlock({0x12, 0, 0, 0, 36, 0}, 36), ERROR_INVALID_FUNCTION},
        {"malformed", u"ata", win32::kIoctlAtaPassThrough, badLength, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> block = c.block;
        DWORD returned = 5;
        EXPECT_FALSE(send(open(c.disk), c.code, block, &returned)) << c.name;
        EXPECT_EQ(win32::GetLastError(), c.error) << c.name;
        EXPECT_EQ(returned, 0u) << c.name;
        EXPECT_EQ(block[block.size() - 17], kGuard) << c.name;
    }
}

std::vector<std::uint8_t> smartRequest(std::uint8_t command, std::uint8_t features) {
    SendCmdInParams request{};
    request.cBufferSize = 512;
    request.irDriveRegs = {features, 1, 1, 0x4F, 0xC2, 0xA0, command, 0};
    std::vector<std::uint8_t> in(sizeof(request) + 1, 0);
    std::memcpy(in.data(), &request, sizeof(request));
    return in;
}

TEST_F(PassThrough, SmartReceiveDriveData) {
    const HANDLE disk = open(u"ata");
    auto in = smartRequest(0xB0, 0xD0);
    std::vector<std::uint8_t> out(sizeof(SendCmdOutParams) + 512 + 16, kGuard);
    DWORD returned = 0;
    ASSERT_TRUE(win32::DeviceIoControl(disk, win32::kSmartRcvDriveData, in.data(),
                                       static_cast<DWORD>(in.size()), out.data(), 528, &returned,
                                       nullptr));
    EXPECT_EQ(returned, 528u);
    EXPECT_EQ(headerOf<SendCmdOutParams>(out).cBufferSize, 512u);
    EXPECT_EQ(out[16 + 7], 38);
    EXPECT_EQ(out[528], kGuard);

    // A command the drive aborts comes back as a driver error with the drive's error register.
    in = smartRequest(0xB0, 0xD0);
    ASSERT_TRUE(win32::DeviceIoControl(open(u"ataNoSmart"), win32::kSmartRcvDriveData, in.data(),
                                       static_cast<DWORD>(in.size()), out.data(), 528, &returned,
                                       nullptr));
    EXPECT_EQ(headerOf<SendCmdOutParams>(out).bDriverError, 1);
    EXPECT_EQ(headerOf<SendCmdOutParams>(out).bIDEError, 0x04);
}

TEST_F(PassThrough, ScsiInquiry) {
    const HANDLE disk = open(u"scsi");
    auto block = scsiBlock({0x12, 0, 0, 0, 96, 0}, 96);
    DWORD returned = 0;
    ASSERT_TRUE(send(disk, win32::kIoctlScsiPassThrough, block, &returned));
    const auto answer = headerOf<ScsiPassThrough>(block);
    EXPECT_EQ(answer.ScsiStatus, 0);
    EXPECT_EQ(answer.DataTransferLength, 36u);
    EXPECT_EQ(answer.SenseInfoLength, 0);
    EXPECT_EQ(returned, kScsiData + 36);
    EXPECT_EQ(std::string(block.begin() + kScsiData + 8, block.begin() + kScsiData + 36),
              "ACME    Disk            A1  ");
    EXPECT_EQ(block[kScsiData + 36], kGuard); // the rest of the data area is untouched
}

TEST_F(PassThrough, LetterHandlesCarryNoPassThrough) {
    machine_ = SimulatedMachine::fromJson(R"({"drives": {"C": {"deviceNumber": 0}}})");
    const HANDLE letter = open(u"\\\\.\\C:");
    auto block = ataBlock(0xEC, 0, 512);
    DWORD returned = 0;
    EXPECT_FALSE(send(letter, win32::kIoctlAtaPassThrough, block, &returned));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_FUNCTION);
}

} // namespace
} // namespace platform::simulated
