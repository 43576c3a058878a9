// The host's memory sequences, per bus kind, against the firmware and the
// chip models: program a page, read it back, wait for write cycles.
#include <gtest/gtest.h>

#include "firmware_host.h"

namespace {

using simtest::B;
using simtest::Bytes;
using simtest::Cat;
using simtest::Err;
using simtest::FirmwareHost;
using simtest::kAck;

Bytes Pattern(std::size_t n, uint8_t seed) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i * 7);
  return out;
}

// ---- I2C -------------------------------------------------------------------

TEST(FirmwareI2C, PageWriteWaitsForTheCycleAndReadsBack) {
  FirmwareHost host("device=24C16");
  EXPECT_EQ(host.Send("M00"), kAck);
  EXPECT_EQ(host.Send("Z"), kAck);
  host.Emu().Adapter().TakeWorkMicros();
  EXPECT_EQ(host.Send("D05"), kAck);
  EXPECT_EQ(host.Send("%"), kAck);
  // Page at 0x5A0: block bits in the control byte, one address byte.
  const Bytes page = Pattern(16, 3);
  EXPECT_EQ(host.Send("X"), kAck);
  EXPECT_EQ(host.w(0xA0 | 0x0A), kAck);
  EXPECT_EQ(host.w(0xA0), kAck);
  EXPECT_EQ(host.W(page), kAck);  // no 'x' after 'W' on I2C
  // The acknowledge came after the 5 ms write cycle.
  EXPECT_GE(host.Emu().Adapter().TakeWorkMicros(), 5000u);
  EXPECT_FALSE(host.Chip().Busy());
  EXPECT_EQ(Bytes(host.Memory().begin() + 0x5A0, host.Memory().begin() + 0x5B0), page);

  EXPECT_EQ(host.Send("X"), kAck);
  host.w(0xAA);
  host.w(0xA0);
  EXPECT_EQ(host.Send("X"), kAck);
  host.w(0xAB);
  EXPECT_EQ(host.R(16), Cat(page, kAck));
  EXPECT_EQ(host.Send("x"), kAck);
  EXPECT_EQ(host.Send("$"), kAck);
}

TEST(FirmwareI2C, SingleByteWriteEndsWithStopAndReadWithR) {
  FirmwareHost host("device=24C00");
  host.Send("M00");
  host.Send("X");
  host.w(0xA0);
  host.w(0x05);
  host.w(0x5A);
  EXPECT_EQ(host.Send("x"), kAck);
  EXPECT_FALSE(host.Chip().Busy());
  EXPECT_EQ(host.Memory()[5], 0x5A);
  host.Send("X");
  host.w(0xA0);
  host.w(0x05);
  host.Send("X");
  host.w(0xA1);
  EXPECT_EQ(host.Send("r"), Bytes({0x5A, 0x0D}));
  EXPECT_EQ(host.Send("x"), kAck);
}

TEST(FirmwareI2C, LargePartTakesTwoAddressBytes) {
  FirmwareHost host("device=24C1024");
  host.Send("M00");
  const Bytes page = Pattern(128, 9);
  host.Send("X");
  host.w(0xA0 | 0x02);
  host.w(0xFF);
  host.w(0x80);
  EXPECT_EQ(host.W(page), kAck);
  EXPECT_EQ(Bytes(host.Memory().begin() + 0x1FF80, host.Memory().end()), page);
}

TEST(FirmwareI2C, ControlByteNobodyAcknowledgesIsAnsweredTimeout) {
  // config, control byte: an SPI part, an empty socket, a 24C02 asked for
  // the second block of a 24C16 (pins strapped low).
  const std::vector<std::pair<std::string, uint8_t>> cases = {
      {"device=25C16", 0xA1}, {"device=24C02,fitted=none", 0xA0}, {"device=24C16,fitted=24C02", 0xA2}};
  for (const auto& [config, control] : cases) {
    SCOPED_TRACE(config);
    FirmwareHost host(config);
    host.Send("M00");
    host.Send("X");
    EXPECT_EQ(host.w(control), Err('T'));
    EXPECT_EQ(host.R(2), Bytes({0xFF, 0xFF, 0x0D}));
  }
}

// ---- SPI -------------------------------------------------------------------

TEST(FirmwareSpi, ProgramPageThenReadAndStatus) {
  FirmwareHost host("device=25C16");
  EXPECT_EQ(host.Send("M01"), kAck);
  EXPECT_EQ(host.Send("x"), kAck);
  host.Send("D05");
  host.Send("%");
  const Bytes page = Pattern(32, 1);
  host.Send("X");
  host.w(0x06);
  host.Send("x");
  host.Send("X");
  host.w(0x02);
  host.w(0x01);
  host.w(0x20);
  EXPECT_EQ(host.W(page), kAck);
  host.Emu().Adapter().TakeWorkMicros();
  EXPECT_EQ(host.Send("x"), kAck);  // waits for WIP to clear
  EXPECT_GE(host.Emu().Adapter().TakeWorkMicros(), 5000u);
  EXPECT_FALSE(host.Chip().Busy());
  EXPECT_EQ(Bytes(host.Memory().begin() + 0x120, host.Memory().begin() + 0x140), page);

  host.Send("X");
  host.w(0x03);
  host.w(0x01);
  host.w(0x20);
  EXPECT_EQ(host.R(32), Cat(page, kAck));
  host.Send("x");
  host.Send("X");
  host.w(0x05);
  EXPECT_EQ(host.Send("r"), Bytes({0x00, 0x0D}));  // idle, write enable latch cleared
  host.Send("$");
  host.Send("x");
}

TEST(FirmwareSpi, NinthAddressBitInTheOpcodeOf512BytePart) {
  FirmwareHost host("device=25040");
  host.Send("M01");
  host.Send("X");
  host.w(0x06);
  host.Send("x");
  host.Send("X");
  host.w(0x0A);
  host.w(0xF0);
  host.W({1, 2, 3, 4});
  EXPECT_EQ(host.Send("x"), kAck);
  host.Send("X");
  host.w(0x0B);
  host.w(0xF0);
  EXPECT_EQ(host.R(4), Bytes({1, 2, 3, 4, 0x0D}));
  host.Send("x");
  EXPECT_EQ(host.Memory()[0x1F0], 1);
}

TEST(FirmwareSpi, WriteStatusWaitsAndProtectsBlocks) {
  FirmwareHost host("device=25C16");
  host.Send("M01");
  host.Send("X");
  host.w(0x06);
  host.Send("x");
  host.Send("X");
  host.w(0x01);
  host.w(0x0C);
  EXPECT_EQ(host.Send("x"), kAck);
  EXPECT_FALSE(host.Chip().Busy());
  host.Send("X");
  host.w(0x05);
  EXPECT_EQ(host.Send("r"), Bytes({0x0C, 0x0D}));
  host.Send("x");
  // Everything protected: a page write is dropped silently.
  host.Send("X");
  host.w(0x06);
  host.Send("x");
  host.Send("X");
  host.w(0x02);
  host.w(0x00);
  host.w(0x00);
  host.W({0x12});
  EXPECT_EQ(host.Send("x"), kAck);
  EXPECT_EQ(host.Memory()[0], 0xFF);
}

// ---- Microwire -------------------------------------------------------------

class FirmwareMicrowire : public ::testing::Test {
 protected:
  Bytes Word(FirmwareHost& host, unsigned bits, unsigned word) {
    return host.Send(Bytes{'W', static_cast<uint8_t>(bits), static_cast<uint8_t>(word >> 8),
                           static_cast<uint8_t>(word)});
  }
};

TEST_F(FirmwareMicrowire, ByteOrganisationWriteWaitRead) {
  FirmwareHost host("device=93C46");
  host.Send("M02");
  host.Send("x");
  host.Send("%");
  host.Send("X");
  EXPECT_EQ(Word(host, 10, 0x9800), kAck);  // write enable
  host.Send("x");
  host.Send("X");
  EXPECT_EQ(Word(host, 10, 0xA000 | (0x11 << 6)), kAck);
  host.w(0x3C);
  host.Send("x");
  host.Emu().Adapter().TakeWorkMicros();
  EXPECT_EQ(host.Send("Z"), kAck);
  EXPECT_GT(host.Emu().Adapter().TakeWorkMicros(), 1000u);
  EXPECT_EQ(host.Memory()[0x11], 0x3C);
  host.Send("X");
  EXPECT_EQ(Word(host, 10, 0xC000 | (0x11 << 6)), kAck);
  EXPECT_EQ(host.Send("r"), Bytes({0x3C, 0x0D}));
  host.Send("x");
  host.Send("$");
}

TEST_F(FirmwareMicrowire, WordOrganisationSendsHighByteFirst) {
  FirmwareHost host("device=93C46,org=16");
  host.Send("M02");
  host.Send("X");
  Word(host, 9, 0x9800);
  host.Send("x");
  // Byte address 0x40 is word 0x20: 0xA000 | (0x20 << 7) = 0xB000, 9 bits.
  host.Send("X");
  EXPECT_EQ(Word(host, 9, 0xB000), kAck);
  host.w(0x41);
  host.w(0x40);
  host.Send("x");
  EXPECT_EQ(host.Send("Z"), kAck);
  EXPECT_EQ(host.Memory()[0x40], 0x40);
  EXPECT_EQ(host.Memory()[0x41], 0x41);
  host.Send("X");
  Word(host, 9, 0xC000 | (0x20 << 7));
  EXPECT_EQ(host.Send("r"), Bytes({0x41, 0x0D}));
  EXPECT_EQ(host.Send("r"), Bytes({0x40, 0x0D}));
  host.Send("x");
}

TEST_F(FirmwareMicrowire, EraseAllAndWriteAll) {
  FirmwareHost host("device=93C46");
  host.Memory()[3] = 0x00;
  host.Send("M02");
  host.Send("X");
  Word(host, 10, 0x9800);
  host.Send("x");
  host.Send("X");
  Word(host, 10, 0x8800);
  host.w(0x5A);
  host.Send("x");
  EXPECT_EQ(host.Send("Z"), kAck);
  EXPECT_EQ(host.Memory(), Bytes(128, 0x5A));
  host.Send("X");
  Word(host, 10, 0x9000);
  host.Send("x");
  EXPECT_EQ(host.Send("Z"), kAck);
  EXPECT_EQ(host.Memory(), Bytes(128, 0xFF));
}

TEST_F(FirmwareMicrowire, ReadWithoutAChipIsOutOfSync) {
  FirmwareHost host("device=24C16");
  host.Send("M02");
  host.Send("X");
  EXPECT_EQ(Word(host, 10, 0xC000), Err('m'));
}

// ---- DataFlash -------------------------------------------------------------

TEST(FirmwareDataFlash, PageProgramLoopReadAndStatus) {
  FirmwareHost host("device=AT45DB041");
  auto& flash = dynamic_cast<zylsim::At45DataFlash&>(host.Chip());
  const unsigned pageSize = static_cast<unsigned>(flash.PageSize());
  host.Send("M03");
  host.Send("x");
  // Outside a pass the status is two hex characters.
  const Bytes status = host.Send("G");
  ASSERT_EQ(status.size(), 3u);
  EXPECT_EQ(status[2], 0x0D);
  EXPECT_TRUE(isxdigit(status[0]) && isxdigit(status[1]));
  EXPECT_EQ(std::stoi(std::string(status.begin(), status.begin() + 2), nullptr, 16) & 0x80, 0x80);

  host.Send("%");
  const Bytes page = Pattern(pageSize, 5);
  const unsigned a = 3 * pageSize;
  Bytes h = {'H', static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a),
             static_cast<uint8_t>(pageSize >> 8), static_cast<uint8_t>(pageSize)};
  EXPECT_EQ(host.Send(Cat(h, page)), kAck);
  // Inside a pass: one raw status byte; 0x40 clear means the page took.
  const Bytes raw = host.Send("G");
  ASSERT_EQ(raw.size(), 2u);
  EXPECT_EQ(raw[0] & 0x40, 0);
  EXPECT_EQ(raw[1], 0x0D);
  // Read across the page boundary with linear addresses.
  const unsigned from = a - 4;
  Bytes expected(4, 0xFF);
  expected.insert(expected.end(), page.begin(), page.begin() + 12);
  EXPECT_EQ(host.Send(Bytes{'I', 0, static_cast<uint8_t>(from >> 8), static_cast<uint8_t>(from), 0, 16}),
            Cat(expected, kAck));
  host.Send("$");
}

TEST(FirmwareDataFlash, StuckCellMakesTheCompareFailAndEraseClearsBlocks) {
  FirmwareHost host("device=AT45DB041,fault=stuck:5:0x01:0");
  auto& flash = dynamic_cast<zylsim::At45DataFlash&>(host.Chip());
  const unsigned pageSize = static_cast<unsigned>(flash.PageSize());
  host.Send("M03");
  host.Send("%");
  Bytes h = {'H', 0, 0, 0, static_cast<uint8_t>(pageSize >> 8), static_cast<uint8_t>(pageSize)};
  EXPECT_EQ(host.Send(Cat(h, Bytes(pageSize, 0x11))), kAck);
  const Bytes raw = host.Send("G");
  ASSERT_EQ(raw.size(), 2u);
  EXPECT_EQ(raw[0] & 0x40, 0x40);
  // Block 0 erased: the page reads blank again but for the stuck bit.
  EXPECT_EQ(host.Send(Bytes{'K', 0, 0}), kAck);
  Bytes blank(8, 0xFF);
  blank[5] = 0xFE;
  EXPECT_EQ(host.Send(Bytes{'I', 0, 0, 0, 0, 8}), Cat(blank, kAck));
  host.Send("$");
}

}  // namespace
