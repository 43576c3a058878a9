// The parts the emulator can stand in for, with the geometry each model needs.
#include <strings.h>

#include <cstring>

#include "zylsim/chip.h"
#include "zylsim/chip_dataflash.h"
#include "zylsim/chip_i2c.h"
#include "zylsim/chip_microwire.h"
#include "zylsim/chip_spi.h"

namespace zylsim {

namespace {

enum Bus { kI2C, kSpi, kMicrowire };

struct EepromPart {
  const char* name;
  Bus bus;
  int size;
  int pageSize;
  int addressBitsX8;  // Microwire only
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

bool SameName(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && ::strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

std::unique_ptr<Chip> CreateChip(const std::string& name, int organisation) {
  for (const EepromPart& p : kEeproms) {
    if (!SameName(name, p.name)) continue;
    const auto size = static_cast<std::size_t>(p.size);
    if (p.bus == kI2C) return std::make_unique<I2CEeprom>(size, p.pageSize);
    if (p.bus == kSpi) return std::make_unique<SpiEeprom>(size, p.pageSize);
    if (organisation != 8 && organisation != 16) return nullptr;
    return std::make_unique<MicrowireEeprom>(size, p.addressBitsX8, organisation);
  }
  for (const DataFlashPart& p : kDataFlashes) {
    if (SameName(name, p.name)) {
      return std::make_unique<At45DataFlash>(p.pageSize, p.pageCount, p.shift, p.density);
    }
  }
  return nullptr;
}

std::vector<std::string> ChipNames() {
  std::vector<std::string> names;
  for (const EepromPart& p : kEeproms) names.emplace_back(p.name);
  for (const DataFlashPart& p : kDataFlashes) names.emplace_back(p.name);
  return names;
}

}  // namespace zylsim
