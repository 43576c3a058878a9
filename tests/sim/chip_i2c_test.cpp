#include <gtest/gtest.h>

#include "chip_bus.h"
#include "zylsim/chip_i2c.h"

namespace {

using chiptest::Bytes;
using chiptest::I2CRandomRead;
using chiptest::I2CRead;
using chiptest::I2CWrite;
using zylsim::I2CEeprom;

I2CEeprom Part(std::size_t size, int page) { return I2CEeprom(size, page); }

TEST(I2CChip, PageWriteWrapsInsideItsPage) {
  I2CEeprom chip = Part(256, 4);
  // Five bytes from address 2 of a 4-byte page: 2, 3, 0, 1, then 2 again.
  ASSERT_TRUE(I2CWrite(chip, {0xA0, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));
  EXPECT_EQ(chip.Memory()[0], 0x33);
  EXPECT_EQ(chip.Memory()[1], 0x44);
  EXPECT_EQ(chip.Memory()[2], 0x55);
  EXPECT_EQ(chip.Memory()[3], 0x22);
  EXPECT_EQ(chip.Memory()[4], 0xFF);
  EXPECT_EQ(chip.WriteCycleCount(), 1u);
}

TEST(I2CChip, AcknowledgePollingDuringTheWriteCycle) {
  I2CEeprom chip = Part(256, 4);
  chip.SetWriteCycleMs(10);
  ASSERT_TRUE(I2CWrite(chip, {0xA0, 0x10, 0x5A}));
  EXPECT_TRUE(chip.Busy());
  EXPECT_FALSE(I2CWrite(chip, {0xA0}));
  EXPECT_TRUE(I2CRead(chip, 0xA1, 1).empty());
  chip.Advance(9999);
  EXPECT_FALSE(I2CWrite(chip, {0xA0}));
  chip.Advance(1);
  EXPECT_FALSE(chip.Busy());
  EXPECT_TRUE(I2CWrite(chip, {0xA0}));
  EXPECT_EQ(I2CRandomRead(chip, 0xA0, {0x10}, 1), Bytes{0x5A});
}

TEST(I2CChip, CurrentAddressAndSequentialReads) {
  I2CEeprom chip = Part(256, 4);
  for (int i = 0; i < 256; ++i) chip.Memory()[i] = static_cast<uint8_t>(i ^ 0x5A);
  // A dummy write leaves the counter at the address; reads continue from there.
  EXPECT_EQ(I2CRandomRead(chip, 0xA0, {0xFE}, 1), Bytes{0xFE ^ 0x5A});
  EXPECT_EQ(I2CRead(chip, 0xA1, 1), Bytes{0xFF ^ 0x5A});
  // The counter wraps from the end of the array to 0.
  EXPECT_EQ(I2CRead(chip, 0xA1, 2), (Bytes{0x00 ^ 0x5A, 0x01 ^ 0x5A}));
  // After a write the counter points past the last byte written.
  ASSERT_TRUE(I2CWrite(chip, {0xA0, 0x40, 0x01}));
  chip.Advance(chip.RemainingCycleUs());
  EXPECT_EQ(I2CRead(chip, 0xA1, 1), Bytes{0x41 ^ 0x5A});
}

TEST(I2CChip, IncompleteWritesChangeNothing) {
  I2CEeprom chip = Part(4096, 16);
  EXPECT_TRUE(I2CWrite(chip, {0xA0, 0x01}));  // one of two address bytes
  EXPECT_TRUE(I2CWrite(chip, {0xA0, 0x01, 0x00}));  // address, no data
  EXPECT_FALSE(chip.Busy());
  // A repeated start abandons the latched bytes.
  chip.Start();
  chip.WriteByte(0xA0);
  chip.WriteByte(0x00);
  chip.WriteByte(0x00);
  chip.WriteByte(0x77);
  chip.Start();
  chip.Stop();
  EXPECT_FALSE(chip.Busy());
  EXPECT_EQ(chip.WriteCycleCount(), 0u);
  EXPECT_EQ(chip.Memory(), Bytes(4096, 0xFF));
}

TEST(I2CChip, BlockBitsAndAddressBytes) {
  // 24C16: block bits P2..P0 carry address bits 8..10, one address byte.
  I2CEeprom c16 = Part(2048, 16);
  ASSERT_TRUE(I2CWrite(c16, {0xA0 | 0x0A, 0xA0, 1, 2}));
  EXPECT_EQ(c16.Memory()[0x5A0], 1);
  EXPECT_EQ(c16.Memory()[0x5A1], 2);
  c16.Advance(c16.RemainingCycleUs());
  EXPECT_EQ(I2CRandomRead(c16, 0xAA, {0xA0}, 2), (Bytes{1, 2}));

  // 24C1024: bit 1 is address bit 16, then two address bytes.
  I2CEeprom c1024 = Part(131072, 128);
  ASSERT_TRUE(I2CWrite(c1024, {0xA2, 0xFF, 0x80, 9}));
  EXPECT_EQ(c1024.Memory()[0x1FF80], 9);
  EXPECT_EQ(c1024.Memory()[0xFF80], 0xFF);

  // M24M02: b2 b1 are address bits 17 16, b3 is the E2 pin.
  I2CEeprom m02 = Part(262144, 256);
  ASSERT_TRUE(I2CWrite(m02, {0xA6, 0x12, 0x34, 8}));
  EXPECT_EQ(m02.Memory()[0x31234], 8);
  m02.Advance(m02.RemainingCycleUs());
  EXPECT_EQ(I2CRandomRead(m02, 0xA4, {0x12, 0x34}, 1), Bytes{0xFF});
  EXPECT_FALSE(I2CWrite(m02, {0xAE}));

  // 24C32: two address bytes, select bits are pins.
  I2CEeprom c32 = Part(4096, 16);
  ASSERT_TRUE(I2CWrite(c32, {0xA0, 0x0F, 0xF0, 7}));
  EXPECT_EQ(c32.Memory()[0xFF0], 7);
}

TEST(I2CChip, ControlByteMustAddressTheChip) {
  I2CEeprom c04 = Part(512, 4);  // A2 A1 pins, P0 block bit
  EXPECT_FALSE(I2CWrite(c04, {0xB0}));
  EXPECT_FALSE(I2CWrite(c04, {0xA4}));  // A1 strapped low
  EXPECT_TRUE(I2CWrite(c04, {0xA2}));   // block 1
  c04.SetAddressPins(2);
  EXPECT_TRUE(I2CWrite(c04, {0xA4}));
  EXPECT_FALSE(I2CWrite(c04, {0xA0}));

  // 24xx1025: B0 in b3, A1 A0 in b2 b1; nothing answers unless A2 is high.
  I2CEeprom c1025(131072, 128, I2CEeprom::kBlockBitB3);
  ASSERT_TRUE(I2CWrite(c1025, {0xA8, 0x00, 0x10, 3}));
  EXPECT_EQ(c1025.Memory()[0x10010], 3);
  c1025.Advance(c1025.RemainingCycleUs());
  EXPECT_TRUE(I2CWrite(c1025, {0xA0}));
  EXPECT_FALSE(I2CWrite(c1025, {0xA2}));  // A0 strapped low
  c1025.SetAddressPins(1);                 // A2 low, A0 high
  EXPECT_FALSE(I2CWrite(c1025, {0xA2}));
  c1025.SetAddressPins(5);
  EXPECT_TRUE(I2CWrite(c1025, {0xA2}));

  I2CEeprom c02 = Part(256, 4);  // A2..A0 pins, no block bits
  EXPECT_FALSE(I2CWrite(c02, {0xA2}));
  I2CEeprom c00 = Part(16, 1);  // select bits not decoded
  EXPECT_TRUE(I2CWrite(c00, {0xAE, 0x03, 0x42}));
  EXPECT_EQ(c00.Memory()[3], 0x42);
}

TEST(I2CChip, StuckBitsWinOverWritesAndLoadedContents) {
  I2CEeprom chip = Part(256, 4);
  chip.AddStuckBits(5, 0x81, 0x01);
  ASSERT_TRUE(I2CWrite(chip, {0xA0, 0x05, 0x00}));
  chip.Advance(chip.RemainingCycleUs());
  EXPECT_EQ(I2CRandomRead(chip, 0xA0, {0x05}, 1), Bytes{0x01});
  chip.Memory()[5] = 0xFE;  // an image loaded behind the chip's back
  EXPECT_EQ(I2CRandomRead(chip, 0xA0, {0x05}, 1), Bytes{0x7F});
}

}  // namespace
