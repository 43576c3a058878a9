#include <gtest/gtest.h>

#include "chip_bus.h"
#include "zylsim/chip_spi.h"

namespace {

using chiptest::Bytes;
using chiptest::SpiFrame;
using chiptest::SpiRead;
using zylsim::SpiEeprom;

constexpr uint8_t kWip = 1, kWel = 2;

uint8_t Rdsr(SpiEeprom& chip) { return SpiRead(chip, {0x05}, 1)[0]; }
void Wren(SpiEeprom& chip) { SpiFrame(chip, {0x06}); }
void Settle(SpiEeprom& chip) { chip.Advance(chip.RemainingCycleUs()); }

TEST(SpiChip, WriteEnableLatch) {
  SpiEeprom chip(1024, 32);
  SpiFrame(chip, {0x02, 0x00, 0x10, 0xAA});  // no WREN: ignored
  EXPECT_FALSE(chip.Busy());
  EXPECT_EQ(chip.Memory()[0x10], 0xFF);

  Wren(chip);
  EXPECT_EQ(Rdsr(chip), kWel);
  SpiFrame(chip, {0x04});  // WRDI
  EXPECT_EQ(Rdsr(chip), 0);

  Wren(chip);
  SpiFrame(chip, {0x02, 0x00, 0x10, 0xAA});
  EXPECT_EQ(chip.Memory()[0x10], 0xAA);
  EXPECT_EQ(Rdsr(chip), kWip);  // WEL cleared by the write
  Settle(chip);
  EXPECT_EQ(Rdsr(chip), 0);
  SpiFrame(chip, {0x02, 0x00, 0x11, 0xBB});  // needs a fresh WREN
  EXPECT_EQ(chip.Memory()[0x11], 0xFF);
}

TEST(SpiChip, OnlyStatusReadDuringTheWriteCycle) {
  SpiEeprom chip(1024, 32);
  chip.Memory()[0x20] = 0x12;
  Wren(chip);
  SpiFrame(chip, {0x02, 0x00, 0x00, 0x01});
  ASSERT_TRUE(chip.Busy());
  EXPECT_EQ(SpiRead(chip, {0x03, 0x00, 0x20}, 1), Bytes{0xFF});
  Wren(chip);
  chip.Advance(4999);
  EXPECT_EQ(Rdsr(chip), kWip);  // the WREN was not taken
  chip.Advance(1);
  EXPECT_EQ(Rdsr(chip), 0);
  EXPECT_EQ(SpiRead(chip, {0x03, 0x00, 0x20}, 1), Bytes{0x12});
}

TEST(SpiChip, PageWriteWrapsAndReadWrapsAtTheEnd) {
  SpiEeprom chip(1024, 32);
  Bytes frame = {0x02, 0x03, 0xE0};
  for (int i = 0; i < 33; ++i) frame.push_back(static_cast<uint8_t>(i));
  Wren(chip);
  SpiFrame(chip, frame);
  EXPECT_EQ(chip.Memory()[0x3E0], 32);  // 33rd byte back at the page start
  EXPECT_EQ(chip.Memory()[0x3FF], 31);
  EXPECT_EQ(chip.Memory()[0x3C0], 0xFF);
  Settle(chip);
  chip.Memory()[0] = 0x77;
  EXPECT_EQ(SpiRead(chip, {0x03, 0x03, 0xFF}, 2), (Bytes{31, 0x77}));
}

TEST(SpiChip, A8InTheOpcodeOf512ByteParts) {
  SpiEeprom chip(512, 16);
  Wren(chip);
  SpiFrame(chip, {0x0A, 0xF0, 0x5A});
  EXPECT_EQ(chip.Memory()[0x1F0], 0x5A);
  EXPECT_EQ(chip.Memory()[0x0F0], 0xFF);
  Settle(chip);
  EXPECT_EQ(SpiRead(chip, {0x0B, 0xF0}, 1), Bytes{0x5A});
  EXPECT_EQ(SpiRead(chip, {0x03, 0xF0}, 1), Bytes{0xFF});
  // Larger parts do not decode the bit.
  SpiEeprom big(1024, 32);
  EXPECT_EQ(SpiRead(big, {0x0B, 0x00, 0x00}, 1), Bytes{0xFF});
}

TEST(SpiChip, BlockProtectionDropsWritesToTheProtectedRange) {
  struct Case {
    uint8_t bp;
    std::vector<bool> written;  // one per quarter
  };
  const Case cases[] = {
      {0, {true, true, true, true}},
      {1, {true, true, true, false}},
      {2, {true, true, false, false}},
      {3, {false, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.bp});
    SpiEeprom chip(2048, 32);
    Wren(chip);
    SpiFrame(chip, {0x01, static_cast<uint8_t>(c.bp << 2)});
    EXPECT_TRUE(chip.Busy());  // the status write is a write cycle
    Settle(chip);
    EXPECT_EQ(Rdsr(chip), c.bp << 2);
    for (int q = 0; q < 4; ++q) {
      const int address = q * 512 + 0x1FF;  // last byte of each quarter
      Wren(chip);
      SpiFrame(chip, {0x02, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                      0x00});
      Settle(chip);
      EXPECT_EQ(chip.Memory()[address] == 0x00, c.written[q]) << "quarter " << q;
      EXPECT_EQ(Rdsr(chip) & kWel, 0);
    }
  }
}

TEST(SpiChip, StatusWriteNeedsTheLatch) {
  SpiEeprom chip(128, 16);
  SpiFrame(chip, {0x01, 0x0C});
  EXPECT_EQ(Rdsr(chip), 0);
  EXPECT_FALSE(chip.Busy());
}

TEST(SpiChip, StuckBitsMakeReadsDiffer) {
  SpiEeprom chip(256, 16);
  chip.AddStuckBits(0x42, 0x10, 0x00);
  Wren(chip);
  SpiFrame(chip, {0x02, 0x42, 0xFF});
  Settle(chip);
  EXPECT_EQ(SpiRead(chip, {0x03, 0x42}, 1), Bytes{0xEF});
}

}  // namespace
