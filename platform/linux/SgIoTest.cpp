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

    AtaTaskFile smart;
    smart.features = 0xD0;
    smart.count = 1;
    smart.lbaMid = 0x4F;
    smart.lbaHigh = 0xC2;
    smart.device = 0xA0;
    smart.command = 0xB0;
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

    Bytes fixed(18, 0);
    fixed[0] = 0x70;
    fixed[2] = 0x01;
    fixed[3] = 0x00; // error
    fixed[4] = 0x50; // status
    fixed[5] = 0x40; // device
    fixed[6] = 0x01; // count
    fixed[9] = 0x00;
    fixed[10] = 0x2C; // lba mid: the SMART RETURN STATUS signature
    fixed[11] = 0xF4;
    fixed[12] = 0x00;
    fixed[13] = 0x1D;
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
