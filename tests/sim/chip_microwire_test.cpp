#include <gtest/gtest.h>

#include "chip_bus.h"
#include "zylsim/chip_microwire.h"

namespace {

using chiptest::MwCommand;
using chiptest::MwRead;
using chiptest::MwShift;
using zylsim::MicrowireEeprom;

// Command words of a 93C46 in byte organisation: 10 bits, address << 6.
constexpr uint16_t kEwen = 0x9800, kEwds = 0x8000, kEral = 0x9000, kWral = 0x8800;
uint16_t Write8(unsigned a) { return static_cast<uint16_t>(0xA000 | (a << 6)); }
uint16_t Read8(unsigned a) { return static_cast<uint16_t>(0xC000 | (a << 6)); }
uint16_t Erase8(unsigned a) { return static_cast<uint16_t>(0xE000 | (a << 6)); }

void Settle(MicrowireEeprom& chip) { chip.Advance(chip.RemainingCycleUs()); }

TEST(MicrowireChip, WritesNeedEnabling) {
  MicrowireEeprom chip(128, 7, 8);
  MwCommand(chip, Write8(3), 10, 8, 0x12);  // disabled at power-up
  EXPECT_FALSE(chip.Busy());
  EXPECT_EQ(chip.Memory()[3], 0xFF);

  MwCommand(chip, kEwen, 10);
  MwCommand(chip, Write8(3), 10, 8, 0x12);
  EXPECT_EQ(chip.Memory()[3], 0x12);
  Settle(chip);

  MwCommand(chip, kEwds, 10);
  MwCommand(chip, Erase8(3), 10);
  MwCommand(chip, Write8(4), 10, 8, 0x34);
  EXPECT_EQ(chip.Memory()[3], 0x12);
  EXPECT_EQ(chip.Memory()[4], 0xFF);
  EXPECT_EQ(chip.WriteCycleCount(), 1u);
}

TEST(MicrowireChip, ByteOrganisationReadsSequentially) {
  MicrowireEeprom chip(128, 7, 8);
  for (int i = 0; i < 128; ++i) chip.Memory()[i] = static_cast<uint8_t>(i + 1);
  bool dummy = true;
  // Leading zeros before the start bit are ignored.
  const auto items = MwRead(chip, static_cast<uint16_t>(Read8(0x7E) >> 2), 12, 8, 3, &dummy);
  EXPECT_FALSE(dummy);
  EXPECT_EQ(items, (std::vector<uint32_t>{0x7F, 0x80, 0x01}));  // wraps to 0
}

TEST(MicrowireChip, WordOrganisationStoresLowByteFirst) {
  MicrowireEeprom chip(128, 7, 16);
  EXPECT_EQ(chip.CommandBits(), 9);
  MwCommand(chip, kEwen, 9);
  // Word 0x20 (bytes 0x40, 0x41): 0xA000 | (0x20 << 7), 9 bits.
  MwCommand(chip, 0xB000, 9, 16, 0x1234);
  EXPECT_EQ(chip.Memory()[0x40], 0x34);
  EXPECT_EQ(chip.Memory()[0x41], 0x12);
  Settle(chip);
  chip.Memory()[0x42] = 0xCD;
  chip.Memory()[0x43] = 0xAB;
  bool dummy = true;
  EXPECT_EQ(MwRead(chip, 0xD000, 9, 16, 2, &dummy), (std::vector<uint32_t>{0x1234, 0xABCD}));
  EXPECT_FALSE(dummy);
}

TEST(MicrowireChip, ReadyBusyOnDataOut) {
  MicrowireEeprom chip(128, 7, 8);
  MwCommand(chip, kEwen, 10);
  // CS falling before the data is complete starts nothing.
  chip.Select();
  MwShift(chip, Write8(1), 10);
  MwShift(chip, 0, 5);
  chip.Deselect();
  EXPECT_FALSE(chip.Busy());

  MwCommand(chip, Write8(1), 10, 8, 0x55);
  ASSERT_TRUE(chip.Busy());
  chip.Select();
  EXPECT_FALSE(chip.DataOut());  // busy
  EXPECT_FALSE(chip.Clock(false));
  EXPECT_FALSE(chip.Clock(true));  // no instruction is taken while busy
  chip.Advance(chip.RemainingCycleUs());
  EXPECT_TRUE(chip.DataOut());  // ready
  chip.Deselect();
  // A start bit ends the status output; a read then works normally.
  EXPECT_EQ(MwRead(chip, Read8(1), 10, 8, 1), std::vector<uint32_t>{0x55});
}

TEST(MicrowireChip, EraseAllAndWriteAll) {
  for (int org : {8, 16}) {
    SCOPED_TRACE(org);
    MicrowireEeprom chip(256, 8, org);  // 93C57
    const int bits = chip.CommandBits();
    const int dataBits = org;
    MwCommand(chip, kEwen, bits);
    MwCommand(chip, kWral, bits, dataBits, org == 8 ? 0xA5 : 0x5AA5);
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(chip.Memory()[i], (org == 8 || i % 2 == 0) ? 0xA5 : 0x5A) << i;
    }
    Settle(chip);
    MwCommand(chip, kEral, bits);
    EXPECT_EQ(chip.Memory(), std::vector<uint8_t>(256, 0xFF));
    EXPECT_EQ(chip.WriteCycleCount(), 2u);
  }
}

}  // namespace
