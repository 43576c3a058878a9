#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "chip_bus.h"
#include "zylsim/chip_dataflash.h"

namespace {

using chiptest::Bytes;
using chiptest::SpiFrame;
using chiptest::SpiRead;
using zylsim::At45DataFlash;

// AT45DB041: 2048 pages of 264 bytes, page number << 9.
std::unique_ptr<At45DataFlash> Db041() {
  return std::make_unique<At45DataFlash>(264, 2048, 9, 0x7);
}

Bytes Address(uint32_t page, uint32_t offset) {
  const uint32_t a = page << 9 | offset;
  return {static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
}

Bytes Frame(uint8_t opcode, const Bytes& address, const Bytes& tail = {}) {
  Bytes f(1 + address.size() + tail.size());
  f[0] = opcode;
  std::copy(address.begin(), address.end(), f.begin() + 1);
  std::copy(tail.begin(), tail.end(), f.begin() + 1 + static_cast<std::ptrdiff_t>(address.size()));
  return f;
}

uint8_t Status(At45DataFlash& chip) { return SpiRead(chip, {0xD7}, 1)[0]; }
void Settle(At45DataFlash& chip) { chip.Advance(chip.RemainingCycleUs()); }

TEST(DataFlashChip, BufferWriteThenPageProgramAndRead) {
  auto chip = Db041();
  EXPECT_EQ(Status(*chip), 0x80 | 0x7 << 2);
  SpiFrame(*chip, Frame(0x84, Address(0, 262), {1, 2, 3}));  // wraps in the buffer
  SpiFrame(*chip, Frame(0x83, Address(5, 0)));
  EXPECT_TRUE(chip->Busy());
  EXPECT_EQ(Status(*chip) & 0x80, 0);
  EXPECT_EQ(SpiRead(*chip, Frame(0xD2, Address(5, 0), {0, 0, 0, 0}), 1), Bytes{0xFF});
  Settle(*chip);
  EXPECT_EQ(Status(*chip) & 0x80, 0x80);
  // Page read wraps inside the page.
  EXPECT_EQ(SpiRead(*chip, Frame(0xD2, Address(5, 262), {0, 0, 0, 0}), 3), (Bytes{1, 2, 3}));
  const std::size_t base = 5 * 264;
  EXPECT_EQ(chip->Memory()[base + 263], 2);
  // The continuous array read runs on into the next page.
  EXPECT_EQ(SpiRead(*chip, Frame(0xE8, Address(5, 263), {0, 0, 0, 0}), 2), (Bytes{2, 0xFF}));
  EXPECT_EQ(SpiRead(*chip, Frame(0x03, Address(5, 0)), 1), Bytes{3});
}

TEST(DataFlashChip, ProgramThroughBufferAndCompare) {
  auto chip = Db041();
  for (auto& b : chip->Memory()) b = 0x00;
  SpiFrame(*chip, Frame(0x82, Address(7, 10), {0xAB, 0xCD}));
  Settle(*chip);
  // The whole buffer goes to the page: the bytes not written stay blank.
  EXPECT_EQ(chip->Memory()[7 * 264], 0xFF);
  EXPECT_EQ(chip->Memory()[7 * 264 + 10], 0xAB);
  EXPECT_EQ(chip->Memory()[7 * 264 + 11], 0xCD);
  EXPECT_EQ(chip->Memory()[6 * 264 + 10], 0x00);
  SpiFrame(*chip, Frame(0x60, Address(7, 0)));
  EXPECT_EQ(Status(*chip) & 0x40, 0);
  SpiFrame(*chip, Frame(0x60, Address(6, 0)));
  EXPECT_EQ(Status(*chip) & 0x40, 0x40);
}

TEST(DataFlashChip, PageAndBlockErase) {
  auto chip = Db041();
  for (auto& b : chip->Memory()) b = 0x00;
  SpiFrame(*chip, Frame(0x81, Address(2, 0)));
  Settle(*chip);
  EXPECT_EQ(chip->Memory()[2 * 264], 0xFF);
  EXPECT_EQ(chip->Memory()[3 * 264 - 1], 0xFF);
  EXPECT_EQ(chip->Memory()[3 * 264], 0x00);
  // Block 3 = pages 24..31: block value 3 * 16 in the two high address bytes.
  SpiFrame(*chip, {0x50, 0x00, 48, 0x00});
  EXPECT_TRUE(chip->Busy());
  Settle(*chip);
  EXPECT_EQ(chip->Memory()[24 * 264 - 1], 0x00);
  EXPECT_EQ(chip->Memory()[24 * 264], 0xFF);
  EXPECT_EQ(chip->Memory()[32 * 264 - 1], 0xFF);
  EXPECT_EQ(chip->Memory()[32 * 264], 0x00);
}

TEST(DataFlashChip, StuckBitsSurviveProgramming) {
  auto chip = Db041();
  chip->AddStuckBits(3, 0x0F, 0x00);
  SpiFrame(*chip, Frame(0x82, Address(0, 3), {0xFF}));
  Settle(*chip);
  EXPECT_EQ(SpiRead(*chip, Frame(0xD2, Address(0, 3), {0, 0, 0, 0}), 1), Bytes{0xF0});
}

}  // namespace
