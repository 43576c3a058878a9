#include <gtest/gtest.h>

#include <algorithm>

#include "chip_bus.h"
#include "zylsim/chip.h"
#include "zylsim/chip_dataflash.h"
#include "zylsim/chip_i2c.h"
#include "zylsim/chip_microwire.h"

namespace {

using chiptest::Bytes;

struct Part {
  const char* name;
  int bus;
  int size;
  int page;
  int commandBitsX8;  // Microwire; I2C above 64 KiB: where address bit 16 sits in the control byte
};

const Part kParts[] = {
    {"24C00", 0, 16, 1, 0},        {"24C01", 0, 128, 4, 0},      {"24WC01", 0, 128, 4, 0},
    {"24C02", 0, 256, 4, 0},       {"24WC02", 0, 256, 4, 0},     {"24C04", 0, 512, 4, 0},
    {"24WC04", 0, 512, 4, 0},      {"24C08", 0, 1024, 16, 0},    {"24WC08", 0, 1024, 16, 0},
    {"24C16", 0, 2048, 16, 0},     {"24WC16", 0, 2048, 16, 0},   {"24C32", 0, 4096, 16, 0},
    {"24WC32", 0, 4096, 16, 0},    {"24C64", 0, 8192, 16, 0},    {"24WC64", 0, 8192, 16, 0},
    {"24C128", 0, 16384, 64, 0},   {"24WC128", 0, 16384, 64, 0}, {"24C256", 0, 32768, 64, 0},
    {"24WC256", 0, 32768, 64, 0},  {"24C512", 0, 65536, 128, 0}, {"24C1024", 0, 131072, 128, 1},
    {"24LC1025", 0, 131072, 128, 3}, {"M24M01", 0, 131072, 256, 1},   {"M24M02", 0, 262144, 256, 1},
    {"25LC1024", 1, 131072, 256, 0}, {"M95M01", 1, 131072, 256, 0},   {"M95M02", 1, 262144, 256, 0},
    {"M95M04", 1, 524288, 512, 0},
    {"25C010", 1, 128, 16, 0},     {"25010", 1, 128, 16, 0},     {"25010 (AT)", 1, 128, 8, 0},
    {"25C01", 1, 128, 16, 0},      {"25C020", 1, 256, 16, 0},    {"25020", 1, 256, 16, 0},
    {"25C02", 1, 256, 16, 0},      {"25C040", 1, 512, 16, 0},    {"25C04", 1, 512, 16, 0},
    {"25040", 1, 512, 16, 0},      {"25C080", 1, 1024, 32, 0},   {"25C08", 1, 1024, 32, 0},
    {"25C160", 1, 2048, 32, 0},    {"25C16", 1, 2048, 32, 0},    {"25C320", 1, 4096, 32, 0},
    {"25C32", 1, 4096, 32, 0},     {"25C640", 1, 8192, 32, 0},   {"25C64", 1, 8192, 32, 0},
    {"25C128", 1, 16384, 64, 0},   {"25C256", 1, 32768, 64, 0},  {"25256", 1, 32768, 64, 0},
    {"25HP256", 1, 32768, 128, 0}, {"25HP512", 1, 65536, 128, 0}, {"93C06", 2, 32, 16, 10},
    {"93C46", 2, 128, 16, 10},     {"93C56", 2, 256, 16, 12},    {"93C57", 2, 256, 16, 11},
    {"93C66", 2, 512, 16, 12},     {"93C76", 2, 1024, 32, 14},   {"93C86", 2, 2048, 32, 14},
};

Bytes Counting(int n) {
  Bytes b;
  for (int i = 1; i <= n; ++i) b.push_back(static_cast<uint8_t>(i));
  return b;
}

// One page more one byte into the last page, addressed the way a host does:
// the byte after the page lands back on the page's first byte.
void CheckI2C(zylsim::I2CEeprom& chip, const Part& p) {
  const uint32_t a = static_cast<uint32_t>(p.size - p.page);
  Bytes frame;
  if (p.size < 4096) {
    frame = {static_cast<uint8_t>(0xA0 | ((a >> 8) & 7) << 1), static_cast<uint8_t>(a)};
  } else {
    frame = {static_cast<uint8_t>(0xA0 | (a >> 16) << p.commandBitsX8), static_cast<uint8_t>(a >> 8),
             static_cast<uint8_t>(a)};
  }
  const Bytes data = Counting(p.page + 1);
  frame.insert(frame.end(), data.begin(), data.end());
  ASSERT_TRUE(chiptest::I2CWrite(chip, frame));
  EXPECT_EQ(chip.Memory()[a], static_cast<uint8_t>(p.page + 1));
  EXPECT_EQ(chip.Memory()[p.size - 1], static_cast<uint8_t>(p.page == 1 ? p.page + 1 : p.page));
  EXPECT_EQ(chip.Memory()[a - 1], 0xFF);
}

void CheckSpi(zylsim::SpiChip& chip, const Part& p) {
  const uint32_t a = static_cast<uint32_t>(p.size - p.page);
  Bytes frame;
  if (p.size == 512) {
    frame = {static_cast<uint8_t>(0x02 | ((a >> 8) & 1) << 3), static_cast<uint8_t>(a)};
  } else if (p.size > 65536) {
    frame = {0x02, static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
  } else if (p.size > 512) {
    frame = {0x02, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
  } else {
    frame = {0x02, static_cast<uint8_t>(a)};
  }
  const Bytes data = Counting(p.page + 1);
  frame.insert(frame.end(), data.begin(), data.end());
  chiptest::SpiFrame(chip, {0x06});
  chiptest::SpiFrame(chip, frame);
  EXPECT_EQ(chip.Memory()[a], static_cast<uint8_t>(p.page + 1));
  EXPECT_EQ(chip.Memory()[p.size - 1], static_cast<uint8_t>(p.page));
  EXPECT_EQ(chip.Memory()[a - 1], 0xFF);
}

// Writes and reads back the last item with the command length of the part.
void CheckMicrowire(zylsim::MicrowireEeprom& chip, const Part& p, int org) {
  const int bits = org == 8 ? p.commandBitsX8 : p.commandBitsX8 - 1;
  const uint32_t item = static_cast<uint32_t>(org == 8 ? p.size - 1 : p.size / 2 - 1);
  const uint32_t value = org == 8 ? 0x5A : 0x5AA5;
  chiptest::MwCommand(chip, 0x9800, bits);
  chiptest::MwCommand(chip, static_cast<uint16_t>(0xA000 | item << (16 - bits)), bits, org,
                      value);
  chip.Advance(chip.RemainingCycleUs());
  EXPECT_EQ(chip.Memory()[p.size - 1], 0x5A);
  EXPECT_EQ(chip.Memory()[p.size - 2], org == 8 ? 0xFF : 0xA5);
  EXPECT_EQ(chiptest::MwRead(chip, static_cast<uint16_t>(0xC000 | item << (16 - bits)), bits,
                             org, 1),
            std::vector<uint32_t>{value});
}

TEST(ChipCatalogue, EveryPartHasItsBusSizeAndGeometry) {
  for (const Part& p : kParts) {
    for (int org : {8, 16}) {
      if (p.bus != 2 && org == 16) continue;
      SCOPED_TRACE(std::string(p.name) + " org " + std::to_string(org));
      auto chip = zylsim::CreateChip(p.name, org);
      ASSERT_NE(chip, nullptr);
      EXPECT_EQ(chip->BusKind(), p.bus);
      ASSERT_EQ(chip->Memory().size(), static_cast<std::size_t>(p.size));
      if (p.bus == 0) CheckI2C(static_cast<zylsim::I2CEeprom&>(*chip), p);
      if (p.bus == 1) CheckSpi(static_cast<zylsim::SpiChip&>(*chip), p);
      if (p.bus == 2) {
        auto& mw = static_cast<zylsim::MicrowireEeprom&>(*chip);
        EXPECT_EQ(mw.Organisation(), org);
        CheckMicrowire(mw, p, org);
      }
    }
  }
}

TEST(ChipCatalogue, DataFlashParts) {
  struct Flash {
    const char* name;
    int pageSize, pages, shift;
    uint8_t status;
  };
  const Flash flashes[] = {
      {"AT45DB011", 264, 512, 9, 0x8C},   {"AT45DB021", 264, 1024, 9, 0x94},
      {"AT45DB041", 264, 2048, 9, 0x9C},  {"AT45DB081", 264, 4096, 9, 0xA4},
      {"AT45DB161", 528, 4096, 10, 0xAC}, {"AT45DB321", 528, 8192, 10, 0xB4},
  };
  for (const Flash& f : flashes) {
    SCOPED_TRACE(f.name);
    auto chip = zylsim::CreateChip(f.name, 8);
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(chip->BusKind(), 3);
    auto& df = static_cast<zylsim::At45DataFlash&>(*chip);
    EXPECT_EQ(df.PageSize(), f.pageSize);
    EXPECT_EQ(df.PageCount(), f.pages);
    EXPECT_EQ(df.PageAddressShift(), f.shift);
    EXPECT_EQ(chip->Memory().size(), static_cast<std::size_t>(f.pageSize) * f.pages);
    EXPECT_EQ(chiptest::SpiRead(df, {0xD7}, 1), Bytes{f.status});
    // The last page answers at its own address.
    const uint32_t a = static_cast<uint32_t>(f.pages - 1) << f.shift;
    chiptest::SpiFrame(df, {0x82, static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
                            static_cast<uint8_t>(a), 0x42});
    EXPECT_EQ(chip->Memory()[chip->Memory().size() - static_cast<std::size_t>(f.pageSize)], 0x42);
  }
}

TEST(ChipCatalogue, NamesMatchWithoutCaseAndUnknownsFail) {
  for (const char* name : {"24wc16", "25010 (at)", "at45db161", "93c46", "w25q128jv", "m95m04"}) {
    EXPECT_NE(zylsim::CreateChip(name, 8), nullptr) << name;
  }
  EXPECT_EQ(zylsim::CreateChip("24C17", 8), nullptr);
  EXPECT_EQ(zylsim::CreateChip("", 8), nullptr);
  EXPECT_EQ(zylsim::CreateChip("24C16 ", 8), nullptr);
  EXPECT_EQ(zylsim::CreateChip("93C46", 12), nullptr);  // no such organisation
  EXPECT_NE(zylsim::CreateChip("24C16", 12), nullptr);  // ignored off Microwire
  const auto names = zylsim::ChipNames();
  EXPECT_EQ(names.size(), 88u);
  EXPECT_EQ(names.front(), "24C00");
  EXPECT_EQ(names.back(), "AT25SF081");
}

}  // namespace
