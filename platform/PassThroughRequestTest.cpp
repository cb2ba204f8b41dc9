#include "platform/PassThroughRequest.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

// A SCSI_PASS_THROUGH block: header, 32 bytes of sense, then the data.
struct ScsiBlock {
    win32::ScsiPassThrough header{};
    std::uint8_t sense[32] = {};
    std::uint8_t data[64] = {};
};

ScsiBlock scsiBlock(std::uint8_t direction = win32::kScsiIoctlDataIn) {
    ScsiBlock block;
    block.header.Length = sizeof(win32::ScsiPassThrough);
    block.header.CdbLength = 6;
    block.header.Cdb[0] = 0x12;
    block.header.SenseInfoLength = sizeof(block.sense);
    block.header.SenseInfoOffset = offsetof(ScsiBlock, sense);
    block.header.DataIn = direction;
    block.header.DataTransferLength = sizeof(block.data);
    block.header.DataBufferOffset = offsetof(ScsiBlock, data);
    return block;
}

TEST(PassThroughRequestTest, RefusesMalformedScsiRequests) {
    constexpr DWORD kSize = sizeof(ScsiBlock);
    const struct {
        const char* name;
        void (*change)(ScsiBlock&);
        DWORD inSize;
        DWORD outSize;
    } cases[] = {
        {"short input", [](ScsiBlock&) {}, 55, kSize},
        {"short output", [](ScsiBlock&) {}, kSize, 55},
        {"data past the output", [](ScsiBlock&) {}, kSize, kSize - 1},
        {"structure length", [](ScsiBlock& b) { b.header.Length = 48; }, kSize, kSize},
        {"no CDB", [](ScsiBlock& b) { b.header.CdbLength = 0; }, kSize, kSize},
        {"CDB too long", [](ScsiBlock& b) { b.header.CdbLength = 17; }, kSize, kSize},
        {"unknown direction", [](ScsiBlock& b) { b.header.DataIn = 3; }, kSize, kSize},
        {"sense past the output", [](ScsiBlock& b) { b.header.SenseInfoOffset = kSize - 4; }, kSize,
         kSize},
        {"offset wraps", [](ScsiBlock& b) { b.header.DataBufferOffset = ~std::uint64_t{0} - 8; },
         kSize, kSize},
        {"data-out past the input",
         [](ScsiBlock& b) { b.header.DataIn = win32::kScsiIoctlDataOut; }, kSize - 1, kSize},
    };
    for (const auto& c : cases) {
        ScsiBlock block = scsiBlock();
        c.change(block);
        ScsiRequest request;
        EXPECT_EQ(readScsiRequest(&block, c.inSize, &block, c.outSize, request),
                  DWORD{ERROR_INVALID_PARAMETER})
            << c.name;
    }
    ScsiRequest request;
    ScsiBlock block = scsiBlock(win32::kScsiIoctlDataOut);
    EXPECT_EQ(readScsiRequest(&block, sizeof(block), &block, offsetof(ScsiBlock, data), request),
              0u); // the data lies in the input
    EXPECT_EQ(request.direction, DataDirection::Out);
    EXPECT_EQ(request.outgoing.data(), block.data);
}

TEST(PassThroughRequestTest, WritesScsiAnswersWithinTheCallersLengths) {
    ScsiAnswer answer;
    answer.data.assign(100, 0xAB);
    ScsiBlock block = scsiBlock();
    block.header.DataTransferLength = 5;
    ScsiRequest request;
    ASSERT_EQ(readScsiRequest(&block, sizeof(block), &block, sizeof(block), request), 0u);
    EXPECT_EQ(writeScsiAnswer(request, answer, &block), offsetof(ScsiBlock, data) + 5);
    EXPECT_EQ(block.header.DataTransferLength, 5u);
    EXPECT_EQ(block.data[4], 0xAB);
    EXPECT_EQ(block.data[5], 0);

    // Nothing comes back on a data-out request; the sense does.
    ScsiAnswer refused;
    refused.status = kScsiCheckCondition;
    refused.data.assign(8, 0xAB);
    refused.sense.assign(18, 0x70);
    block = scsiBlock(win32::kScsiIoctlDataOut);
    ASSERT_EQ(readScsiRequest(&block, sizeof(block), &block, sizeof(block), request), 0u);
    EXPECT_EQ(writeScsiAnswer(request, refused, &block), offsetof(ScsiBlock, sense) + 18);
    EXPECT_EQ(block.header.ScsiStatus, kScsiCheckCondition);
    EXPECT_EQ(block.header.SenseInfoLength, 18);
    EXPECT_EQ(block.header.DataTransferLength, sizeof(block.data));
    EXPECT_EQ(block.data[0], 0);
}

struct AtaBlock {
    win32::AtaPassThroughEx header{};
    std::uint8_t data[512] = {};
};

AtaBlock identifyBlock() {
    AtaBlock block;
    block.header.Length = sizeof(win32::AtaPassThroughEx);
    block.header.AtaFlags = win32::kAtaFlagsDrdyRequired | win32::kAtaFlagsDataIn;
    block.header.DataTransferLength = 512;
    block.header.DataBufferOffset = offsetof(AtaBlock, data);
    block.header.CurrentTaskFile[6] = 0xEC;
    return block;
}

TEST(PassThroughRequestTest, ChecksAtaRequests) {
    constexpr DWORD kSize = sizeof(AtaBlock);
    const struct {
        const char* name;
        void (*change)(AtaBlock&);
        DWORD inSize;
        DWORD outSize;
    } cases[] = {
        {"short output", [](AtaBlock&) {}, kSize, 47},
        {"data past the output", [](AtaBlock&) {}, kSize, 100},
        {"structure length", [](AtaBlock& b) { b.header.Length = 40; }, kSize, kSize},
        {"both directions", [](AtaBlock& b) { b.header.AtaFlags |= win32::kAtaFlagsDataOut; },
         kSize, kSize},
        {"data over the header", [](AtaBlock& b) { b.header.DataBufferOffset = 8; }, kSize, kSize},
        {"data-out past the input",
         [](AtaBlock& b) { b.header.AtaFlags = win32::kAtaFlagsDataOut; }, kSize - 1, kSize},
    };
    for (const auto& c : cases) {
        AtaBlock block = identifyBlock();
        c.change(block);
        AtaRequest request;
        EXPECT_EQ(readAtaRequest(&block, c.inSize, &block, c.outSize, request),
                  DWORD{ERROR_INVALID_PARAMETER})
            << c.name;
    }

    AtaBlock block = identifyBlock();
    AtaRequest request;
    ASSERT_EQ(readAtaRequest(&block, sizeof(block), &block, sizeof(block), request), 0u);
    EXPECT_EQ(request.registers.command, 0xEC);
    const std::vector<std::uint8_t> data(600, 0xAB);
    const AtaTaskFile after{0, 1, 2, 3, 4, 0xA0, 0x50};
    EXPECT_EQ(writeAtaAnswer(request, after, data, &block), sizeof(block));
    EXPECT_EQ(block.header.CurrentTaskFile[6], 0x50);
    EXPECT_EQ(block.header.CurrentTaskFile[2], 2);
    EXPECT_EQ(block.data[511], 0xAB);

    // Without a data-in flag nothing comes back.
    block = identifyBlock();
    block.header.AtaFlags = 0;
    ASSERT_EQ(readAtaRequest(&block, sizeof(block), &block, sizeof(block), request), 0u);
    EXPECT_EQ(writeAtaAnswer(request, after, data, &block), sizeof(win32::AtaPassThroughEx));
    EXPECT_EQ(block.data[0], 0);
}

TEST(PassThroughRequestTest, ChecksSmartRequests) {
    win32::SendCmdInParams in{};
    in.irDriveRegs = {0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
    std::uint8_t out[kSmartAnswerSize] = {};
    AtaTaskFile registers;
    EXPECT_EQ(readSmartRequest(&in, sizeof(in) - 1, out, kSmartAnswerSize, registers),
              DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(readSmartRequest(&in, sizeof(in), out, kSmartAnswerSize - 1, registers),
              DWORD{ERROR_INSUFFICIENT_BUFFER});
    ASSERT_EQ(readSmartRequest(&in, sizeof(in), out, kSmartAnswerSize, registers), 0u);
    EXPECT_EQ(registers.features, 0xD0);
    in.irDriveRegs.bCommandReg = 0xEF; // SET FEATURES reads no block
    EXPECT_EQ(readSmartRequest(&in, sizeof(in), out, kSmartAnswerSize, registers),
              DWORD{ERROR_INVALID_PARAMETER});
}

} // namespace
} // namespace platform
