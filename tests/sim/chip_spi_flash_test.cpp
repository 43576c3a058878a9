#include <gtest/gtest.h>

#include <memory>

#include "chip_bus.h"
#include "zylsim/chip_spi_flash.h"

namespace {

using chiptest::Bytes;
using chiptest::SpiFrame;
using chiptest::SpiRead;
using zylsim::SpiFlash;

std::unique_ptr<SpiFlash> Flash(const char* name) {
  std::unique_ptr<zylsim::Chip> chip = zylsim::CreateChip(name, 8);
  auto* flash = dynamic_cast<SpiFlash*>(chip.get());
  if (!flash) return nullptr;
  chip.release();
  return std::unique_ptr<SpiFlash>(flash);
}

uint8_t Rdsr(SpiFlash& f) { return SpiRead(f, {0x05}, 1)[0]; }
void Wren(SpiFlash& f) { SpiFrame(f, {0x06}); }
void Settle(SpiFlash& f) { f.Advance(f.RemainingCycleUs()); }
// Opcode and address, most significant byte first.
Bytes Addr(uint8_t op, uint32_t a, int bytes = 3) {
  Bytes b{op};
  for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(a >> (8 * i)));
  return b;
}
Bytes Read(SpiFlash& f, uint32_t a, std::size_t n, int bytes = 3) { return SpiRead(f, Addr(0x03, a, bytes), n); }
uint32_t Le32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

TEST(SpiFlash, IdAndSfdpDescribeThePart) {
  struct Case {
    const char* name;
    uint32_t id, size;
    bool fourByte;
    uint8_t type2Log2, type2Op;  // second erase type
  };
  const Case cases[] = {
      {"AT25SF081", 0x1F8501, 1u << 20, false, 15, 0x52}, {"GD25Q16C", 0xC84015, 2u << 20, false, 15, 0x52},
      {"P25Q32H", 0x856016, 4u << 20, false, 15, 0x52},   {"W25Q64JV", 0xEF4017, 8u << 20, false, 15, 0x52},
      {"N25Q128A", 0x20BA18, 16u << 20, false, 16, 0xD8}, {"MX25L25645G", 0xC22019, 32u << 20, true, 15, 0x52},
      {"W25Q512JV", 0xEF4020, 64u << 20, true, 15, 0x52},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto f = Flash(c.name);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Size(), c.size);
    EXPECT_EQ(SpiRead(*f, {0x9F}, 3),
              (Bytes{uint8_t(c.id >> 16), uint8_t(c.id >> 8), uint8_t(c.id)}));
    const Bytes sfdp = SpiRead(*f, {0x5A, 0, 0, 0, 0}, 0x70);
    EXPECT_EQ(Bytes(sfdp.begin(), sfdp.begin() + 4), (Bytes{'S', 'F', 'D', 'P'}));
    ASSERT_EQ(sfdp[11], 16);  // BFPT length in DWORDs
    const uint32_t table = sfdp[12] | sfdp[13] << 8 | sfdp[14] << 16;
    EXPECT_EQ(Le32(sfdp, table + 4), c.size * 8 - 1);
    EXPECT_EQ(Le32(sfdp, table) >> 17 & 3, c.fourByte ? 1u : 0u);
    const uint32_t erase = Le32(sfdp, table + 28);
    EXPECT_EQ(erase & 0xFFFF, 0x200Cu);  // type 1: 2^12, 0x20
    EXPECT_EQ(erase >> 16, uint32_t{c.type2Op} << 8 | c.type2Log2);
    EXPECT_EQ(Le32(sfdp, table + 40) >> 4 & 0xF, 8u);  // 256-byte pages
    EXPECT_EQ(Le32(sfdp, table + 60) >> 24 & 1, c.fourByte ? 1u : 0u);  // B7 enters
  }
  // Parts without the table answer all ones.
  EXPECT_EQ(SpiRead(*Flash("MX25L6406E"), {0x5A, 0, 0, 0, 0}, 4), Bytes(4, 0xFF));
}

TEST(SpiFlash, ProgramOnlyClearsBitsAndWrapsInsideThePage) {
  auto f = Flash("W25Q16JV");
  Wren(*f);
  SpiFrame(*f, {0x02, 0x00, 0x01, 0xFE, 0xF0, 0x11, 0x22});
  EXPECT_EQ(Rdsr(*f) & 3, 1);  // busy, WEL gone
  Settle(*f);
  EXPECT_EQ(Read(*f, 0x1FE, 2), (Bytes{0xF0, 0x11}));
  EXPECT_EQ(Read(*f, 0x100, 1), Bytes{0x22});  // third byte back at the page start
  EXPECT_EQ(Read(*f, 0x200, 1), Bytes{0xFF});
  Wren(*f);
  SpiFrame(*f, {0x02, 0x00, 0x01, 0xFE, 0x3C});
  Settle(*f);
  EXPECT_EQ(SpiRead(*f, {0x0B, 0x00, 0x01, 0xFE, 0x00}, 1), Bytes{0x30});  // 0xF0 & 0x3C
  EXPECT_EQ(f->Stats().flashPagePrograms, 2u);
}

TEST(SpiFlash, EraseGranularityCountsAndBusyTimes) {
  struct Case {
    uint8_t op;
    uint32_t size;
    uint64_t us;
    uint64_t zylsim::Statistics::*counter;
  };
  const Case cases[] = {
      {0x20, 4096, 45000, &zylsim::Statistics::flashErases4k},
      {0x52, 32768, 120000, &zylsim::Statistics::flashErases32k},
      {0xD8, 65536, 150000, &zylsim::Statistics::flashErases64k},
      {0xC7, 1u << 20, 2000000, &zylsim::Statistics::flashChipErases},
      {0x60, 1u << 20, 2000000, &zylsim::Statistics::flashChipErases},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.op});
    auto f = Flash("W25Q80DV");
    std::fill(f->Memory().begin(), f->Memory().end(), 0x00);
    const uint32_t base = c.size < f->Size() ? 2 * c.size : 0;
    Wren(*f);
    SpiFrame(*f, c.op == 0xC7 || c.op == 0x60 ? Bytes{c.op} : Addr(c.op, base + c.size / 2));
    EXPECT_EQ(f->RemainingCycleUs(), c.us);
    EXPECT_EQ(SpiRead(*f, {0x9F}, 1), Bytes{0xFF});  // nothing but status reads while busy
    f->Advance(c.us - 1);
    EXPECT_EQ(Rdsr(*f), 1);
    f->Advance(1);
    EXPECT_EQ(Rdsr(*f), 0);
    EXPECT_EQ(Read(*f, base, 1), Bytes{0xFF});
    EXPECT_EQ(Read(*f, base + c.size - 1, 1), Bytes{0xFF});
    if (base > 0) {
      EXPECT_EQ(Read(*f, base - 1, 1), Bytes{0x00});
      EXPECT_EQ(Read(*f, base + c.size, 1), Bytes{0x00});
    }
    EXPECT_EQ(f->Stats().*c.counter, 1u);
  }
}

TEST(SpiFlash, WriteEnableLatchGatesChanges) {
  auto f = Flash("GD25Q64C");
  for (const Bytes& change : {Bytes{0x02, 0, 0, 0, 0x00}, Addr(0x20, 0), Bytes{0x01, 0x1C}}) SpiFrame(*f, change);
  EXPECT_FALSE(f->Busy());
  EXPECT_EQ(Read(*f, 0, 1), Bytes{0xFF});
  Wren(*f);
  SpiFrame(*f, {0x04});
  EXPECT_EQ(Rdsr(*f), 0);
  Wren(*f);
  SpiFrame(*f, {0x20, 0, 0, 0, 0});  // one byte too many: not executed, latch kept
  EXPECT_EQ(Rdsr(*f), 2);
  SpiFrame(*f, {0x01, 0x04, 0x02});  // two-byte WRSR: SR1 and SR2
  Settle(*f);
  EXPECT_EQ(Rdsr(*f), 0x04);
  EXPECT_EQ(SpiRead(*f, {0x35}, 1), Bytes{0x02});
}

TEST(SpiFlash, BlockProtectionDropsErasesInTheRange) {
  struct Case {
    const char* part;
    Bytes wrsr;  // a status write (opcode and data)
    uint32_t protectedFrom, protectedTo;
    bool complement;
  };
  const uint32_t m8 = 8u << 20, m16 = 16u << 20;
  const Case cases[] = {
      {"W25Q64JV", {0x01, 0x04}, m8 - 128 * 1024, m8, false},          // BP=1: top 1/64
      {"W25Q64JV", {0x01, 0x24}, 0, 128 * 1024, false},                // TB: bottom
      {"W25Q64JV", {0x01, 0x48}, m8 - 8192, m8, false},                // SEC, BP=2: top 8 KiB
      {"W25Q64JV", {0x01, 0x04, 0x40}, m8 - 128 * 1024, m8, true},     // CMP inverts
      {"W25Q64JV", {0x01, 0x1C}, 0, m8, false},                        // BP=7: all
      {"MX25L12835F", {0x01, 0x0C, 0x08}, 0, 256 * 1024, false},       // BP=3, TB in CR: bottom 4 blocks
      {"N25Q128A", {0x01, 0x40}, m16 / 2, m16, false},                 // BP3 is bit 6: top half
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.part) + " " + std::to_string(c.wrsr[1]));
    auto f = Flash(c.part);
    std::fill(f->Memory().begin(), f->Memory().end(), 0x00);
    Wren(*f);
    SpiFrame(*f, c.wrsr);
    Settle(*f);
    // Probe the edges of the range with 4K erases.
    for (uint32_t a : {0u, 4096u, c.protectedFrom, c.protectedTo - 4096, c.protectedTo, f->Size() - 4096}) {
      if (a >= f->Size()) continue;
      const bool inside = a >= c.protectedFrom && a < c.protectedTo;
      const bool locked = inside != c.complement;
      Wren(*f);
      SpiFrame(*f, Addr(0x20, a));
      Settle(*f);
      EXPECT_EQ(Read(*f, a + 1, 1), Bytes{uint8_t(locked ? 0x00 : 0xFF)}) << std::hex << a;
      EXPECT_EQ(Rdsr(*f) & 2, 0);
    }
    Wren(*f);
    SpiFrame(*f, {0xC7});  // refused while anything is protected
    EXPECT_FALSE(f->Busy());
  }
}

TEST(SpiFlash, FourByteModeAndOpcodes) {
  struct Case {
    const char* part;
    uint8_t modeRead;  // register showing the mode
    uint8_t modeBit;
  };
  for (const Case& c : {Case{"W25Q256JV", 0x15, 0x01}, Case{"MX25L25645G", 0x15, 0x20}}) {
    SCOPED_TRACE(c.part);
    auto f = Flash(c.part);
    const uint32_t high = 0x1234500;
    // 4-byte opcodes take four address bytes in either mode.
    Wren(*f);
    SpiFrame(*f, {0x12, 0x01, 0x23, 0x45, 0x00, 0xA5});
    Settle(*f);
    EXPECT_EQ(SpiRead(*f, {0x13, 0x01, 0x23, 0x45, 0x00}, 1), Bytes{0xA5});
    EXPECT_EQ(SpiRead(*f, {0x0C, 0x01, 0x23, 0x45, 0x00, 0x00}, 1), Bytes{0xA5});
    EXPECT_EQ(Read(*f, high & 0xFFFFFF, 1), Bytes{0xFF});  // 3-byte READ stays below 16 MiB
    EXPECT_EQ(SpiRead(*f, {c.modeRead}, 1)[0] & c.modeBit, 0);

    SpiFrame(*f, {0xB7});
    EXPECT_TRUE(f->FourByteMode());
    EXPECT_TRUE(f->Stats().flashFourByteMode);
    EXPECT_EQ(SpiRead(*f, {c.modeRead}, 1)[0] & c.modeBit, c.modeBit);
    EXPECT_EQ(Read(*f, high, 1, 4), Bytes{0xA5});
    Wren(*f);
    SpiFrame(*f, Addr(0x21, high, 4));
    Settle(*f);
    EXPECT_EQ(Read(*f, high, 1, 4), Bytes{0xFF});
    Wren(*f);
    SpiFrame(*f, {0x02, 0x01, 0xFF, 0xFF, 0x00, 0x5A});
    Settle(*f);
    SpiFrame(*f, {0xE9});
    EXPECT_FALSE(f->FourByteMode());
    EXPECT_EQ(SpiRead(*f, {0x13, 0x01, 0xFF, 0xFF, 0x00}, 1), Bytes{0x5A});

    SpiFrame(*f, {0xB7});
    f->PowerUp();  // a power cycle wakes the part in 3-byte mode
    EXPECT_FALSE(f->FourByteMode());
    EXPECT_FALSE(f->Stats().flashFourByteMode);
  }
  // Parts of 16 MiB and less ignore the 4-byte opcodes.
  auto small = Flash("W25Q128JV");
  small->Memory()[0] = 0x00;
  SpiFrame(*small, {0xB7});
  EXPECT_FALSE(small->FourByteMode());
  EXPECT_EQ(SpiRead(*small, {0x13, 0, 0, 0, 0}, 1), Bytes{0xFF});
}

}  // namespace
