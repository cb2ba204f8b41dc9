#include "platform/linux/SgIo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SgIoTest, WrapsAtaCommandsInAtaPassThrough16) {
    AtaTaskFile identify;
    identify.command = 0xEC;
    const auto in = ataPassThroughCdb(identify, DataDirection::In, 512);
    EXPECT_EQ(in[0], 0x85);
    EXPECT_EQ(in[1], 4 << 1); // PIO data-in
    EXPECT_EQ(in[2], 0x2E);   // CK_COND, T_DIR in, BYTE_BLOCK, T_LENGTH in the count
    EXPECT_EQ(in[6], 1);      // the count of 512-byte blocks, filled in
    EXPECT_EQ(in[14], 0xEC);

    AtaTaskFile smart{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
    const auto read = ataPassThroughCdb(smart, DataDirection::In, 512);
    EXPECT_EQ(read[4], 0xD0);
    EXPECT_EQ(read[6], 1);
    EXPECT_EQ(read[10], 0x4F);
    EXPECT_EQ(read[14], 0xB0);

    smart.features = 0xD8; // SMART ENABLE: no data
    smart.count = 0;
    const auto none = ataPassThroughCdb(smart, DataDirection::None, 0);
    EXPECT_EQ(none[1], 3 << 1);
    EXPECT_EQ(none[2], 0x20);
    EXPECT_EQ(none[6], 0);
}

TEST(SgIoTest, DecodesTheReturnedRegisters) {
    // Descriptor format with an ATA status return descriptor after an unrelated one.
    const Bytes descriptor = {0x72, 0x01, 0x00, 0x1D, 0,    0,    0,    0x14, 0x00,
                              0x02, 0xAA, 0xBB, 0x09, 0x0C, 0x00, 0x04, 0x00, 0x01,
                              0x00, 0x11, 0x00, 0x4F, 0x00, 0xC2, 0xA0, 0x51};
    AtaTaskFile registers;
    ASSERT_TRUE(decodeAtaReturn(descriptor, registers));
    EXPECT_EQ(registers.features, 0x04);
    EXPECT_EQ(registers.count, 0x01);
    EXPECT_EQ(registers.lbaMid, 0x4F);
    EXPECT_EQ(registers.device, 0xA0);
    EXPECT_EQ(registers.command, 0x51);

    // Fixed format: error, status, device and count in the information bytes (3-6), the LBA
    // bytes from byte 9 on, with the SMART RETURN STATUS signature in LBA mid and high.
    const Bytes fixed = {0x70, 0,    0x01, 0x00, 0x50, 0x40, 0x01, 0, 0,
                         0x00, 0x2C, 0xF4, 0x00, 0x1D, 0,    0,    0, 0};
    AtaTaskFile fromFixed;
    ASSERT_TRUE(decodeAtaReturn(fixed, fromFixed));
    EXPECT_EQ(fromFixed.command, 0x50);
    EXPECT_EQ(fromFixed.lbaMid, 0x2C);
    EXPECT_EQ(fromFixed.lbaHigh, 0xF4);
}

TEST(SgIoTest, FindsNoRegistersInOtherSense) {
    AtaTaskFile registers;
    const Bytes illegal = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0x00};
    EXPECT_FALSE(decodeAtaReturn(illegal, registers));
    EXPECT_FALSE(decodeAtaReturn(Bytes{0x72, 0, 0}, registers));
    // A descriptor whose length runs past the sense data is not read.
    const Bytes cut = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0x0E, 0x09, 0x0C, 0x00, 0x04};
    EXPECT_FALSE(decodeAtaReturn(cut, registers));
    const Bytes runaway = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0xFF, 0x01, 0xFE, 0x09};
    EXPECT_FALSE(decodeAtaReturn(runaway, registers));
}

} // namespace
} // namespace platform
