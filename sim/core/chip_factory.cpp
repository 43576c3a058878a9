// The parts the emulator can stand in for, with the geometry each model needs.
#include <strings.h>

#include <cstring>

#include "zylsim/chip.h"
#include "zylsim/chip_dataflash.h"
#include "zylsim/chip_i2c.h"
#include "zylsim/chip_microwire.h"
#include "zylsim/chip_spi.h"
#include "zylsim/chip_spi_flash.h"

namespace zylsim {

namespace {

enum Bus { kI2C, kSpi, kMicrowire };

struct EepromPart {
  const char* name;
  Bus bus;
  int size;
  int pageSize;
  int extra;  // Microwire: address bits at x8; I2C: 1 for the 24xx1025 control byte
};

// clang-format off
constexpr EepromPart kEeproms[] = {
    {"24C00", kI2C, 16, 1, 0},
    {"24C01", kI2C, 128, 4, 0},      {"24WC01", kI2C, 128, 4, 0},
    {"24C02", kI2C, 256, 4, 0},      {"24WC02", kI2C, 256, 4, 0},
    {"24C04", kI2C, 512, 4, 0},      {"24WC04", kI2C, 512, 4, 0},
    {"24C08", kI2C, 1024, 16, 0},    {"24WC08", kI2C, 1024, 16, 0},
    {"24C16", kI2C, 2048, 16, 0},    {"24WC16", kI2C, 2048, 16, 0},
    {"24C32", kI2C, 4096, 16, 0},    {"24WC32", kI2C, 4096, 16, 0},
    {"24C64", kI2C, 8192, 16, 0},    {"24WC64", kI2C, 8192, 16, 0},
    {"24C128", kI2C, 16384, 64, 0},  {"24WC128", kI2C, 16384, 64, 0},
    {"24C256", kI2C, 32768, 64, 0},  {"24WC256", kI2C, 32768, 64, 0},
    {"24C512", kI2C, 65536, 128, 0},
    {"24C1024", kI2C, 131072, 128, 0},
    {"24LC1025", kI2C, 131072, 128, 1},
    {"M24M01", kI2C, 131072, 256, 0},
    {"M24M02", kI2C, 262144, 256, 0},
    {"25C010", kSpi, 128, 16, 0},    {"25010", kSpi, 128, 16, 0},
    {"25010 (AT)", kSpi, 128, 8, 0}, {"25C01", kSpi, 128, 16, 0},
    {"25C020", kSpi, 256, 16, 0},    {"25020", kSpi, 256, 16, 0},
    {"25C02", kSpi, 256, 16, 0},
    {"25C040", kSpi, 512, 16, 0},    {"25C04", kSpi, 512, 16, 0},
    {"25040", kSpi, 512, 16, 0},
    {"25C080", kSpi, 1024, 32, 0},   {"25C08", kSpi, 1024, 32, 0},
    {"25C160", kSpi, 2048, 32, 0},   {"25C16", kSpi, 2048, 32, 0},
    {"25C320", kSpi, 4096, 32, 0},   {"25C32", kSpi, 4096, 32, 0},
    {"25C640", kSpi, 8192, 32, 0},   {"25C64", kSpi, 8192, 32, 0},
    {"25C128", kSpi, 16384, 64, 0},
    {"25C256", kSpi, 32768, 64, 0},  {"25256", kSpi, 32768, 64, 0},
    {"25HP256", kSpi, 32768, 128, 0},
    {"25HP512", kSpi, 65536, 128, 0},
    {"25LC1024", kSpi, 131072, 256, 0},
    {"M95M01", kSpi, 131072, 256, 0},
    {"M95M02", kSpi, 262144, 256, 0},
    {"M95M04", kSpi, 524288, 512, 0},
    {"93C06", kMicrowire, 32, 16, 7},
    {"93C46", kMicrowire, 128, 16, 7},
    {"93C56", kMicrowire, 256, 16, 9},
    {"93C57", kMicrowire, 256, 16, 8},
    {"93C66", kMicrowire, 512, 16, 9},
    {"93C76", kMicrowire, 1024, 32, 11},
    {"93C86", kMicrowire, 2048, 32, 11},
};
// clang-format on

struct DataFlashPart {
  const char* name;
  int pageSize;
  int pageCount;
  int shift;
  uint8_t density;  // status bits 5..2
};

constexpr DataFlashPart kDataFlashes[] = {
    {"AT45DB011", 264, 512, 9, 0x3},   {"AT45DB021", 264, 1024, 9, 0x5},
    {"AT45DB041", 264, 2048, 9, 0x7},  {"AT45DB081", 264, 4096, 9, 0x9},
    {"AT45DB161", 528, 4096, 10, 0xB}, {"AT45DB321", 528, 8192, 10, 0xD},
};

// Register layouts: Winbond-style SR1..SR3 with 0x31/0x11, SR1 + SR2 written
// by a two-byte WRSR, and SR + configuration register.
constexpr uint8_t kSr123 = kFlashSr2 | kFlashWrsr2 | kFlashWrite31 | kFlashSr3;
constexpr uint8_t kSr12 = kFlashSr2 | kFlashWrsr2;
constexpr uint8_t kSrCr = kFlashCr | kFlashWrsr2 | kFlashQe1;
constexpr uint32_t kMib = 1024 * 1024;

// name, JEDEC ID, size, page, 0x52 KiB, registers, BP / TB / SEC bits in SR1,
// 4-byte, SFDP; typical times: page program, 4K, 32K, 64K erase (us), chip
// erase (ms), status write (us).
// clang-format off
constexpr SpiFlashPart kFlashes[] = {
    {"W25Q80DV",    0xEF4014,  1 * kMib, 256, 32, kSr12,  0x1C, 0x20, 0x40, false, true,  700, 45000, 120000, 150000,   2000, 10000},
    {"W25Q16JV",    0xEF4015,  2 * kMib, 256, 32, kSr123, 0x1C, 0x20, 0x40, false, true,  400, 45000, 120000, 150000,   5000, 10000},
    {"W25Q32JV",    0xEF4016,  4 * kMib, 256, 32, kSr123, 0x1C, 0x20, 0x40, false, true,  400, 45000, 120000, 150000,  10000, 10000},
    {"W25Q64JV",    0xEF4017,  8 * kMib, 256, 32, kSr123, 0x1C, 0x20, 0x40, false, true,  400, 45000, 120000, 150000,  20000, 10000},
    {"W25Q128JV",   0xEF4018, 16 * kMib, 256, 32, kSr123, 0x1C, 0x20, 0x40, false, true,  400, 45000, 120000, 150000,  40000, 10000},
    {"W25Q256JV",   0xEF4019, 32 * kMib, 256, 32, kSr123, 0x3C, 0x40, 0,    true,  true,  400, 45000, 120000, 150000,  80000, 10000},
    {"W25Q512JV",   0xEF4020, 64 * kMib, 256, 32, kSr123, 0x3C, 0x40, 0,    true,  true,  400, 45000, 120000, 150000, 160000, 10000},
    {"MX25L8006E",  0xC22014,  1 * kMib, 256, 64, 0,      0x1C, 0,    0,    false, true, 1400, 40000,      0, 400000,   7000,  5000},
    {"MX25L3233F",  0xC22016,  4 * kMib, 256, 32, kSrCr,  0x3C, 0,    0,    false, true,  500, 25000, 150000, 280000,  12000,  5000},
    {"MX25L6406E",  0xC22017,  8 * kMib, 256, 0,  0,      0x3C, 0,    0,    false, false, 1400, 60000,     0, 700000,  50000, 40000},
    {"MX25L12835F", 0xC22018, 16 * kMib, 256, 32, kSrCr,  0x3C, 0,    0,    false, true,  500, 45000, 150000, 350000,  50000, 10000},
    {"MX25L25645G", 0xC22019, 32 * kMib, 256, 32, kSrCr,  0x3C, 0,    0,    true,  true,  500, 25000, 140000, 250000,  80000, 10000},
    {"GD25Q16C",    0xC84015,  2 * kMib, 256, 32, kSr12,  0x1C, 0x20, 0x40, false, true,  400, 50000, 150000, 250000,   8000,  5000},
    {"GD25Q64C",    0xC84017,  8 * kMib, 256, 32, kSr123, 0x1C, 0x20, 0x40, false, true,  400, 50000, 150000, 250000,  25000,  5000},
    {"GD25Q128C",   0xC84018, 16 * kMib, 256, 32, kSr123, 0x1C, 0x20, 0x40, false, true,  400, 50000, 150000, 250000,  50000,  5000},
    {"IS25LP064A",  0x9D6017,  8 * kMib, 256, 32, kFlashQe1, 0x3C, 0, 0,    false, true,  200, 45000, 130000, 150000,  15000,  2000},
    {"N25Q128A",    0x20BA18, 16 * kMib, 256, 0,  0,      0x5C, 0x20, 0,    false, true,  500, 250000,    0, 700000, 170000,  1300},
    {"MT25QL128",   0x20BA18, 16 * kMib, 256, 32, 0,      0x5C, 0x20, 0,    false, true,  120, 50000, 100000, 150000,  38000,  1300},
    {"S25FL064L",   0x016017,  8 * kMib, 256, 32, kSr12,  0x1C, 0x20, 0x40, false, true,  450, 50000, 135000, 270000,  35000,  2000},
    {"EN25Q64",     0x1C3017,  8 * kMib, 256, 0,  0,      0x1C, 0x20, 0,    false, false, 1300, 90000,     0, 500000,  30000, 10000},
    {"XM25QH64C",   0x204017,  8 * kMib, 256, 32, kSr123, 0x1C, 0x20, 0x40, false, true,  500, 45000, 120000, 150000,  20000, 10000},
    {"P25Q32H",     0x856016,  4 * kMib, 256, 32, kSr123, 0x1C, 0x20, 0x40, false, true,  500,  8000,   8000,   8000,      8,  8000},
    {"AT25DF321A",  0x1F4701,  4 * kMib, 256, 32, kFlashSectorLocks, 0, 0, 0, false, false, 1000, 50000, 250000, 400000, 36000,    0},
    {"AT25SF081",   0x1F8501,  1 * kMib, 256, 32, kFlashSr2 | kFlashWrsr2 | kFlashWrite31, 0x1C, 0x20, 0x40, false, true, 700, 70000, 300000, 600000, 12000, 10000},
};
// clang-format on

bool SameName(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && ::strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

std::unique_ptr<Chip> CreateChip(const std::string& name, int organisation) {
  for (const EepromPart& p : kEeproms) {
    if (!SameName(name, p.name)) continue;
    const auto size = static_cast<std::size_t>(p.size);
    if (p.bus == kI2C) {
      return std::make_unique<I2CEeprom>(size, p.pageSize,
                                         p.extra == 1 ? I2CEeprom::kBlockBitB3 : I2CEeprom::kBySize);
    }
    if (p.bus == kSpi) return std::make_unique<SpiEeprom>(size, p.pageSize);
    if (organisation != 8 && organisation != 16) return nullptr;
    return std::make_unique<MicrowireEeprom>(size, p.extra, organisation);
  }
  for (const DataFlashPart& p : kDataFlashes) {
    if (SameName(name, p.name)) {
      return std::make_unique<At45DataFlash>(p.pageSize, p.pageCount, p.shift, p.density);
    }
  }
  for (const SpiFlashPart& p : kFlashes) {
    if (SameName(name, p.name)) return std::make_unique<SpiFlash>(p);
  }
  return nullptr;
}

std::vector<std::string> ChipNames() {
  std::vector<std::string> names;
  for (const EepromPart& p : kEeproms) names.emplace_back(p.name);
  for (const DataFlashPart& p : kDataFlashes) names.emplace_back(p.name);
  for (const SpiFlashPart& p : kFlashes) names.emplace_back(p.name);
  return names;
}

}  // namespace zylsim
