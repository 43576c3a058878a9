// The rows of the part table, one part per line, grouped by family and
// maker.
//
// Facts come from the makers' datasheets. A trailing "u:" comment names the
// facts of that row that were written from the maker's datasheet family
// without being re-read for this exact part (times, id, sr = status layout,
// alias, 4b = four-byte mode; "max times", "chip erase" or "sr bits" when only
// that part of the fact is open); they are the first to check when a part
// misbehaves. A time of 0 in the typical column means the datasheet gives
// only a maximum.
#include "devices/part_table.h"

namespace zylisp {

namespace {

using TAliases = std::vector<std::string>;
using TErases = std::vector<TEraseKind>;

constexpr EHighAddress kNoHigh = EHighAddress::None;
constexpr EHighAddress kBlock = EHighAddress::I2CBlockBits1To3;
constexpr EHighAddress kBit1 = EHighAddress::I2CBit1;
constexpr EHighAddress kBit3 = EHighAddress::I2CBit3;
constexpr EHighAddress kBits12 = EHighAddress::I2CBits1To2;
constexpr EHighAddress kOpBit3 = EHighAddress::SpiOpcodeBit3;
constexpr EMicrowireOrg kSel = EMicrowireOrg::Selectable;
constexpr EMicrowireOrg kX8 = EMicrowireOrg::Fixed8;
constexpr EMicrowireOrg kX16 = EMicrowireOrg::Fixed16;
constexpr EFourByteMode kNo4B = EFourByteMode::None;
constexpr EFourByteMode k4BOps = EFourByteMode::FourByteOpcodes;
constexpr EFourByteMode k4BEnter = EFourByteMode::EnterExitOnly;
constexpr int32_t kKiB = 1024;
constexpr int32_t kMiB = 1024 * 1024;

// Status register layouts (masks: SR1 low byte, SR2/CR high byte).
// 25-series EEPROM: BP0, BP1 in bits 2-3, one register.
const TStatusLayout kEepromSr{EStatusWrite::OneByte, 1, 0x000C, 0, 0, 0};
// BP0-BP2 in bits 2-4 only, one register.
const TStatusLayout kBp3Sr{EStatusWrite::OneByte, 1, 0x001C, 0, 0, 0};
// BP0-BP1 only (smallest Macronix parts).
const TStatusLayout kBp2Sr{EStatusWrite::OneByte, 1, 0x000C, 0, 0, 0};
// BP0-BP3 in bits 2-5, one register.
const TStatusLayout kBp4Sr{EStatusWrite::OneByte, 1, 0x003C, 0, 0, 0};
// W25X: BP0-BP2, TB in bit 5, one register.
const TStatusLayout kW25xSr{EStatusWrite::OneByte, 1, 0x001C, 0x0020, 0, 0};
// W25Q up to 128 Mbit: BP0-2, TB bit 5, SEC bit 6; CMP in SR2 bit 6; SR2 by 0x31.
const TStatusLayout kW25qSr{EStatusWrite::SeparateSr2, 2, 0x001C, 0x0020, 0x0040, 0x4000};
// Same bits, SR1 and SR2 written together by one WRSR.
const TStatusLayout kW25qSr2B{EStatusWrite::TwoBytes, 2, 0x001C, 0x0020, 0x0040, 0x4000};
// W25Q256/512: BP0-3 in bits 2-5, TB bit 6; CMP in SR2 bit 6; three registers.
const TStatusLayout kW25qBigSr{EStatusWrite::SeparateSr2, 3, 0x003C, 0x0040, 0, 0x4000};
// Macronix F/G: BP0-3 in SR bits 2-5, TB in configuration register bit 3 (OTP),
// SR and CR written by one WRSR.
const TStatusLayout kMxCrSr{EStatusWrite::TwoBytes, 2, 0x003C, 0x0800, 0, 0};
// GigaDevice: BP0-BP4 in bits 2-6, CMP in SR2 bit 6, SR2 by 0x31.
const TStatusLayout kGdSr{EStatusWrite::SeparateSr2, 2, 0x007C, 0, 0, 0x4000};
// Smaller GigaDevice "C" parts: the same bits, but no 0x31; one WRSR writes SR1 and SR2.
const TStatusLayout kGdSr2B{EStatusWrite::TwoBytes, 2, 0x007C, 0, 0, 0x4000};
// Micron N25Q/MT25Q: BP0-2 bits 2-4, TB bit 5, BP3 bit 6.
const TStatusLayout kMicronSr{EStatusWrite::OneByte, 1, 0x005C, 0x0020, 0, 0};
// Micron N25Q032A: BP0-2 and TB only, bit 6 unused.
const TStatusLayout kMicron32Sr{EStatusWrite::OneByte, 1, 0x001C, 0x0020, 0, 0};
// Spansion FL-S: BP0-2 in SR1, TBPROT in CR1 bit 5 (OTP), WRR writes SR1 and CR1.
const TStatusLayout kFlsSr{EStatusWrite::TwoBytes, 2, 0x001C, 0x2000, 0, 0};
// Adesto AT25DF: sectors are locked by command (0x36/0x39), not by BP bits;
// SWP in bits 2-3 says whether any is, and all are locked at power-up.
const TStatusLayout kSectorLockSr{EStatusWrite::OneByte, 1, 0, 0, 0, 0, 0x000C};
const TStatusLayout kNoSr{};

TEraseKind E(uint32_t size, uint32_t count, uint8_t opcode, uint32_t typMs, uint32_t maxMs) {
  return TEraseKind{size, count, opcode, typMs, maxMs};
}

TPartRow Base(EPartFamily family, const char* name, TAliases aliases, int32_t size, int32_t page,
              uint8_t addressBytes, uint32_t writeTypUs, uint32_t writeMaxUs) {
  TPartRow row;
  row.Family = family;
  row.Name = name;
  row.Aliases = std::move(aliases);
  row.Size = size;
  row.PageSize = page;
  row.AddressBytes = addressBytes;
  row.WriteTypUs = writeTypUs;
  row.WriteMaxUs = writeMaxUs;
  return row;
}

// I2C EEPROM: size, page, address bytes, high address bits, write time (us).
TPartRow I2c(const char* name, TAliases aliases, int32_t size, int32_t page, uint8_t addressBytes,
             EHighAddress high, uint32_t typUs, uint32_t maxUs) {
  TPartRow row = Base(EPartFamily::I2CEeprom, name, std::move(aliases), size, page, addressBytes, typUs, maxUs);
  row.HighAddress = high;
  return row;
}

// SPI EEPROM: as I2C, with the 25-series status register.
TPartRow Spi(const char* name, TAliases aliases, int32_t size, int32_t page, uint8_t addressBytes,
             EHighAddress high, uint32_t typUs, uint32_t maxUs) {
  TPartRow row = Base(EPartFamily::SpiEeprom, name, std::move(aliases), size, page, addressBytes, typUs, maxUs);
  row.HighAddress = high;
  row.Status = kEepromSr;
  return row;
}

// SPI EEPROM that also offers flash-style erase commands.
TPartRow SpiErasable(const char* name, TAliases aliases, int32_t size, int32_t page, uint8_t addressBytes,
                     uint32_t typUs, uint32_t maxUs, TErases erase, uint8_t chipOpcode, uint32_t chipTypMs,
                     uint32_t chipMaxMs) {
  TPartRow row = Spi(name, std::move(aliases), size, page, addressBytes, kNoHigh, typUs, maxUs);
  row.Erase = std::move(erase);
  row.ChipEraseOpcode = chipOpcode;
  row.ChipEraseTypMs = chipTypMs;
  row.ChipEraseMaxMs = chipMaxMs;
  return row;
}

// Microwire: organisation and address bits for x8 and x16 words (0 = not offered).
TPartRow Mw(const char* name, TAliases aliases, int32_t size, int32_t page, EMicrowireOrg org, uint8_t bits8,
            uint8_t bits16, uint32_t typUs, uint32_t maxUs) {
  const uint8_t longest = bits8 > bits16 ? bits8 : bits16;
  TPartRow row = Base(EPartFamily::Microwire, name, std::move(aliases), size, page,
                      static_cast<uint8_t>((longest + 7) / 8), typUs, maxUs);
  row.Organisation = org;
  row.AddressBits8 = bits8;
  row.AddressBits16 = bits16;
  return row;
}

// SPI NOR flash: JEDEC ID, size, program page, address bytes, status layout,
// four-byte mode, page program time (us), erase kinds, chip erase 0xC7 times (ms).
TPartRow Nor(const char* name, TAliases aliases, uint32_t jedec, int32_t size, int32_t page, uint8_t addressBytes,
             const TStatusLayout& status, EFourByteMode fourByte, uint32_t typUs, uint32_t maxUs, TErases erase,
             uint32_t chipTypMs, uint32_t chipMaxMs) {
  TPartRow row = Base(EPartFamily::SpiFlash, name, std::move(aliases), size, page, addressBytes, typUs, maxUs);
  row.JedecId = jedec;
  row.Status = status;
  row.FourByte = fourByte;
  row.Erase = std::move(erase);
  row.ChipEraseOpcode = 0xC7;
  row.ChipEraseTypMs = chipTypMs;
  row.ChipEraseMaxMs = chipMaxMs;
  return row;
}

// DataFlash: pages of pageSize bytes (standard, non-power-of-two size);
// page erase 0x81 and block (8 pages) erase 0x50; chip erase is the
// sequence C7 94 80 9A, of which the row keeps the first byte. The write
// time is that of a buffer-to-page program with built-in erase.
TPartRow Df(const char* name, TAliases aliases, uint32_t jedec, int32_t pages, int32_t pageSize, uint32_t typUs,
            uint32_t maxUs, uint32_t pageErTyp, uint32_t pageErMax, uint32_t blockErTyp, uint32_t blockErMax,
            uint32_t chipTypMs, uint32_t chipMaxMs) {
  TPartRow row = Base(EPartFamily::DataFlash, name, std::move(aliases), pages * pageSize, pageSize, 3, typUs, maxUs);
  row.JedecId = jedec;
  row.Status = kNoSr;
  const uint32_t page = static_cast<uint32_t>(pageSize);
  const uint32_t count = static_cast<uint32_t>(pages);
  row.Erase = {E(page, count, 0x81, pageErTyp, pageErMax), E(page * 8, count / 8, 0x50, blockErTyp, blockErMax)};
  row.ChipEraseOpcode = 0xC7;
  row.ChipEraseTypMs = chipTypMs;
  row.ChipEraseMaxMs = chipMaxMs;
  return row;
}

}  // namespace

const std::vector<TPartRow>& PartRows() {
  // clang-format off
  static const std::vector<TPartRow> rows = {
      // ---- The classic catalogue, in its order, with its names, sizes and pages.
      // Write times are those the catalogue hands to the adapter today.
      // Generic 24-series I2C EEPROMs.
      I2c("24C00", {"24AA00", "24LC00"}, 16, 1, 1, kNoHigh, 0, 5000),
      I2c("24C01", {}, 128, 4, 1, kNoHigh, 0, 5000),
      I2c("24WC01", {}, 128, 4, 1, kNoHigh, 0, 5000),
      I2c("24C02", {}, 256, 4, 1, kNoHigh, 0, 5000),
      I2c("24WC02", {}, 256, 4, 1, kNoHigh, 0, 5000),
      I2c("24C04", {}, 512, 4, 1, kBlock, 0, 5000),
      I2c("24WC04", {}, 512, 4, 1, kBlock, 0, 5000),
      I2c("24C08", {}, 1024, 16, 1, kBlock, 0, 5000),
      I2c("24WC08", {}, 1024, 16, 1, kBlock, 0, 5000),
      I2c("24C16", {}, 2048, 16, 1, kBlock, 0, 5000),
      I2c("24WC16", {}, 2048, 16, 1, kBlock, 0, 5000),
      I2c("24C32", {}, 4096, 16, 2, kNoHigh, 0, 5000),
      I2c("24WC32", {}, 4096, 16, 2, kNoHigh, 0, 5000),
      I2c("24C64", {}, 8192, 16, 2, kNoHigh, 0, 5000),
      I2c("24WC64", {}, 8192, 16, 2, kNoHigh, 0, 5000),
      I2c("24C128", {"24LC128", "24AA128", "24FC128", "AT24C128", "CAT24C128"}, 16384, 64, 2, kNoHigh, 0, 5000),
      I2c("24WC128", {}, 16384, 64, 2, kNoHigh, 0, 5000),
      I2c("24C256", {"24LC256", "24AA256", "24FC256", "AT24C256", "CAT24C256"}, 32768, 64, 2, kNoHigh, 0, 5000),
      I2c("24WC256", {}, 32768, 64, 2, kNoHigh, 0, 5000),
      I2c("24C512", {"24LC512", "24AA512", "24FC512", "AT24C512", "CAT24C512"}, 65536, 128, 2, kNoHigh, 0, 5000),
      I2c("24C1024", {}, 131072, 128, 2, kBit1, 0, 5000),
      // Generic 25-series SPI EEPROMs; the 25xx040 send A8 in opcode bit 3.
      Spi("25C010", {"25LC010A", "25AA010A", "M95010"}, 128, 16, 1, kNoHigh, 0, 5000),
      Spi("25010", {}, 128, 16, 1, kNoHigh, 0, 5000),
      Spi("25010 (AT)", {"AT25010", "AT25010B"}, 128, 8, 1, kNoHigh, 0, 5000),
      Spi("25C01", {}, 128, 16, 1, kNoHigh, 0, 5000),
      Spi("25C020", {"25LC020A", "25AA020A", "M95020"}, 256, 16, 1, kNoHigh, 0, 5000),
      Spi("25020", {}, 256, 16, 1, kNoHigh, 0, 5000),
      Spi("25C02", {}, 256, 16, 1, kNoHigh, 0, 5000),
      Spi("25C040", {"25LC040A", "25AA040A", "M95040"}, 512, 16, 1, kOpBit3, 0, 5000),
      Spi("25C04", {}, 512, 16, 1, kOpBit3, 0, 5000),
      Spi("25040", {}, 512, 16, 1, kOpBit3, 0, 5000),
      Spi("25C080", {"25LC080B", "25AA080B", "M95080", "AT25080B"}, 1024, 32, 2, kNoHigh, 0, 5000),
      Spi("25C08", {}, 1024, 32, 2, kNoHigh, 0, 5000),
      Spi("25C160", {"25LC160B", "25AA160B", "M95160", "AT25160B"}, 2048, 32, 2, kNoHigh, 0, 5000),
      Spi("25C16", {}, 2048, 32, 2, kNoHigh, 0, 5000),
      Spi("25C320", {"25LC320A", "25AA320A", "M95320", "AT25320B"}, 4096, 32, 2, kNoHigh, 0, 5000),
      Spi("25C32", {}, 4096, 32, 2, kNoHigh, 0, 5000),
      Spi("25C640", {"25LC640", "25LC640A", "25AA640A", "M95640", "AT25640B"}, 8192, 32, 2, kNoHigh, 0, 5000),
      Spi("25C64", {}, 8192, 32, 2, kNoHigh, 0, 5000),
      Spi("25C128", {"25LC128", "25AA128", "M95128", "AT25128B"}, 16384, 64, 2, kNoHigh, 0, 5000),
      Spi("25C256", {"25LC256", "25AA256", "M95256", "AT25256B"}, 32768, 64, 2, kNoHigh, 0, 5000),
      Spi("25256", {}, 32768, 64, 2, kNoHigh, 0, 5000),
      Spi("25HP256", {"AT25HP256"}, 32768, 128, 2, kNoHigh, 0, 5000),
      Spi("25HP512", {"AT25HP512", "25LC512", "25AA512", "M95512", "AT25512"}, 65536, 128, 2, kNoHigh, 0, 5000),
      // Generic 93-series Microwire EEPROMs, ORG pin selectable (the "C" parts).
      Mw("93C06", {}, 32, 16, kSel, 7, 6, 0, 6000),
      Mw("93C46", {"93LC46C", "93AA46C", "93C46C"}, 128, 16, kSel, 7, 6, 0, 6000),
      Mw("93C56", {"93LC56C", "93AA56C", "93C56C"}, 256, 16, kSel, 9, 8, 0, 4000),
      Mw("93C57", {}, 256, 16, kSel, 8, 7, 0, 5000),
      Mw("93C66", {"93LC66C", "93AA66C", "93C66C"}, 512, 16, kSel, 9, 8, 0, 4000),
      Mw("93C76", {"93LC76C", "93AA76C", "93C76C"}, 1024, 32, kSel, 11, 10, 0, 2000),
      Mw("93C86", {"93LC86C", "93AA86C", "93C86C"}, 2048, 32, kSel, 11, 10, 0, 2000),

      // ---- Modern I2C EEPROMs.
      // Microchip 24AA/24LC/24FC (5 ms max write; 24xx1025 3 ms typical,
      // A16 as block select B0 in bit 3); Atmel, ST and onsemi parts of the
      // same page and addressing as aliases.
      I2c("24LC01B", {"24AA01", "AT24C01A"}, 128, 8, 1, kNoHigh, 0, 5000),
      I2c("24LC02B", {"24AA02", "AT24C02"}, 256, 8, 1, kNoHigh, 0, 5000),
      I2c("24LC04B", {"24AA04", "AT24C04", "M24C04", "CAT24C04"}, 512, 16, 1, kBlock, 0, 5000),
      I2c("24LC08B", {"24AA08", "AT24C08", "M24C08", "CAT24C08"}, 1024, 16, 1, kBlock, 0, 5000),
      I2c("24LC16B", {"24AA16", "AT24C16", "M24C16", "CAT24C16"}, 2048, 16, 1, kBlock, 0, 5000),
      I2c("24LC32A", {"24AA32A", "AT24C32", "M24C32", "CAT24C32"}, 4096, 32, 2, kNoHigh, 0, 5000),
      I2c("24LC64", {"24AA64", "24FC64", "AT24C64", "M24C64", "CAT24C64"}, 8192, 32, 2, kNoHigh, 0, 5000),
      I2c("24LC1025", {"24AA1025", "24FC1025"}, 131072, 128, 2, kBit3, 3000, 5000),
      // ST M24C01/02: 16-byte page; onsemi CAT24C01/02 likewise.
      I2c("M24C01", {"CAT24C01"}, 128, 16, 1, kNoHigh, 0, 5000),
      I2c("M24C02", {"CAT24C02"}, 256, 16, 1, kNoHigh, 0, 5000),
      // 1 Mbit with 256-byte pages, A16 in bit 1 (Microchip/Atmel, ST, onsemi).
      I2c("AT24CM01", {"AT24C1024B"}, 131072, 256, 2, kBit1, 0, 5000),  // u: alias
      I2c("M24M01", {}, 131072, 256, 2, kBit1, 0, 5000),
      I2c("CAT24M01", {}, 131072, 256, 2, kBit1, 0, 5000),  // u: times
      // 2 Mbit with 256-byte pages, A16/A17 in bits 1-2.
      I2c("AT24CM02", {}, 262144, 256, 2, kBits12, 0, 10000),
      I2c("M24M02", {}, 262144, 256, 2, kBits12, 0, 10000),  // u: times

      // ---- Modern SPI EEPROMs.
      // Atmel AT25xxxB small parts: 8-byte page.
      Spi("AT25020B", {}, 256, 8, 1, kNoHigh, 0, 5000),
      Spi("AT25040B", {}, 512, 8, 1, kOpBit3, 0, 5000),
      // Microchip "A" parts of 8 and 16 Kbit: 16-byte page.
      Spi("25LC080A", {"25AA080A"}, 1024, 16, 2, kNoHigh, 0, 5000),
      Spi("25LC160A", {"25AA160A"}, 2048, 16, 2, kNoHigh, 0, 5000),
      // Microchip 1 Mbit: 256-byte page, 6 ms write; page (0x42), 32-KB sector
      // (0xD8) and chip erase, 6/10/10 ms max.
      SpiErasable("25LC1024", {"25AA1024"}, 131072, 256, 3, 0, 6000, {E(256, 512, 0x42, 0, 6), E(32768, 4, 0xD8, 0, 10)}, 0xC7, 0, 10),
      // ST M95M01/M02/M04, Atmel AT25M01/M02, onsemi CAT25M01: 3 address bytes.
      Spi("M95M01", {}, 131072, 256, 3, kNoHigh, 0, 5000),
      Spi("AT25M01", {}, 131072, 256, 3, kNoHigh, 0, 5000),
      Spi("CAT25M01", {}, 131072, 256, 3, kNoHigh, 0, 5000),  // u: times
      Spi("M95M02", {}, 262144, 256, 3, kNoHigh, 0, 10000),
      Spi("AT25M02", {}, 262144, 256, 3, kNoHigh, 0, 10000),
      Spi("M95M04", {}, 524288, 512, 3, kNoHigh, 0, 5000),

      // ---- Microwire with fixed organisation: Microchip "A" = x8, "B" = x16;
      // 93AA and 93C marking of the same letter as aliases.
      Mw("93LC46A", {"93AA46A", "93C46A"}, 128, 16, kX8, 7, 0, 0, 6000),
      Mw("93LC46B", {"93AA46B", "93C46B"}, 128, 16, kX16, 0, 6, 0, 6000),
      Mw("93LC56A", {"93AA56A", "93C56A"}, 256, 16, kX8, 9, 0, 0, 6000),  // u: times
      Mw("93LC56B", {"93AA56B", "93C56B"}, 256, 16, kX16, 0, 8, 0, 6000),  // u: times
      Mw("93LC66A", {"93AA66A", "93C66A"}, 512, 16, kX8, 9, 0, 0, 6000),  // u: times
      Mw("93LC66B", {"93AA66B", "93C66B"}, 512, 16, kX16, 0, 8, 0, 6000),  // u: times
      Mw("93LC76A", {"93AA76A", "93C76A"}, 1024, 32, kX8, 11, 0, 0, 5000),  // u: times
      Mw("93LC76B", {"93AA76B", "93C76B"}, 1024, 32, kX16, 0, 10, 0, 5000),  // u: times
      Mw("93LC86A", {"93AA86A", "93C86A"}, 2048, 32, kX8, 11, 0, 0, 5000),  // u: times
      Mw("93LC86B", {"93AA86B", "93C86B"}, 2048, 32, kX16, 0, 10, 0, 5000),  // u: times

      // ---- SPI NOR flash. Erase kinds are 4 KB 0x20, 32 KB 0x52, 64 KB 0xD8
      // unless a row says otherwise; chip erase 0xC7.
      // Winbond W25X / W25Q.
      Nor("W25X05CL", {}, 0xEF3010, 64 * kKiB, 256, 3, kW25xSr, kNo4B, 800, 3000, {E(4096, 16, 0x20, 30, 300), E(32768, 2, 0x52, 120, 800), E(65536, 1, 0xD8, 150, 1000)}, 300, 1000),  // u: times, id
      Nor("W25X20CL", {}, 0xEF3012, 256 * kKiB, 256, 3, kW25xSr, kNo4B, 800, 3000, {E(4096, 64, 0x20, 30, 300), E(32768, 8, 0x52, 120, 800), E(65536, 4, 0xD8, 150, 1000)}, 1000, 2000),  // u: times
      Nor("W25X40CL", {}, 0xEF3013, 512 * kKiB, 256, 3, kW25xSr, kNo4B, 800, 3000, {E(4096, 128, 0x20, 30, 300), E(32768, 16, 0x52, 120, 800), E(65536, 8, 0xD8, 150, 1000)}, 1000, 4000),  // u: times
      Nor("W25Q80DV", {}, 0xEF4014, 1 * kMiB, 256, 3, kW25qSr2B, kNo4B, 700, 3000, {E(4096, 256, 0x20, 45, 400), E(32768, 32, 0x52, 120, 800), E(65536, 16, 0xD8, 150, 1000)}, 2000, 6000),  // u: times, sr
      Nor("W25Q16JV", {}, 0xEF4015, 2 * kMiB, 256, 3, kW25qSr, kNo4B, 400, 3000, {E(4096, 512, 0x20, 45, 400), E(32768, 64, 0x52, 120, 1600), E(65536, 32, 0xD8, 150, 2000)}, 5000, 25000),  // u: times
      Nor("W25Q32FV", {}, 0xEF4016, 4 * kMiB, 256, 3, kW25qSr, kNo4B, 700, 3000, {E(4096, 1024, 0x20, 45, 400), E(32768, 128, 0x52, 120, 800), E(65536, 64, 0xD8, 150, 1000)}, 10000, 50000),  // u: times
      Nor("W25Q32JV", {}, 0xEF4016, 4 * kMiB, 256, 3, kW25qSr, kNo4B, 400, 3000, {E(4096, 1024, 0x20, 45, 400), E(32768, 128, 0x52, 120, 1600), E(65536, 64, 0xD8, 150, 2000)}, 10000, 50000),  // u: times
      Nor("W25Q64FV", {}, 0xEF4017, 8 * kMiB, 256, 3, kW25qSr, kNo4B, 700, 3000, {E(4096, 2048, 0x20, 45, 400), E(32768, 256, 0x52, 120, 800), E(65536, 128, 0xD8, 150, 1000)}, 20000, 100000),  // u: times
      Nor("W25Q64JV", {}, 0xEF4017, 8 * kMiB, 256, 3, kW25qSr, kNo4B, 400, 3000, {E(4096, 2048, 0x20, 45, 400), E(32768, 256, 0x52, 120, 1600), E(65536, 128, 0xD8, 150, 2000)}, 20000, 100000),  // u: times
      Nor("W25Q128FV", {}, 0xEF4018, 16 * kMiB, 256, 3, kW25qSr, kNo4B, 700, 3000, {E(4096, 4096, 0x20, 45, 400), E(32768, 512, 0x52, 120, 800), E(65536, 256, 0xD8, 150, 1000)}, 40000, 200000),  // u: times
      Nor("W25Q128JV", {}, 0xEF4018, 16 * kMiB, 256, 3, kW25qSr, kNo4B, 700, 3000, {E(4096, 4096, 0x20, 45, 400), E(32768, 512, 0x52, 120, 1600), E(65536, 256, 0xD8, 150, 2000)}, 40000, 200000),  // u: times
      Nor("W25Q256FV", {}, 0xEF4019, 32 * kMiB, 256, 4, kW25qBigSr, k4BEnter, 700, 3000, {E(4096, 8192, 0x20, 45, 400), E(32768, 1024, 0x52, 120, 1600), E(65536, 512, 0xD8, 150, 2000)}, 80000, 400000),  // u: times, 4b
      Nor("W25Q256JV", {}, 0xEF4019, 32 * kMiB, 256, 4, kW25qBigSr, k4BOps, 400, 3000, {E(4096, 8192, 0x20, 50, 400), E(32768, 1024, 0x52, 120, 1600), E(65536, 512, 0xD8, 150, 2000)}, 80000, 400000),  // u: times
      Nor("W25Q512JV", {}, 0xEF4020, 64 * kMiB, 256, 4, kW25qBigSr, k4BOps, 400, 3000, {E(4096, 16384, 0x20, 50, 400), E(32768, 2048, 0x52, 120, 1600), E(65536, 1024, 0xD8, 150, 2000)}, 160000, 800000),  // u: times
      // Macronix MX25L/MX66L. The "E" parts have 4 KB and 64 KB erase only and
      // one status register; "F"/"G" parts add 32 KB and a configuration register.
      Nor("MX25L512E", {}, 0xC22010, 64 * kKiB, 256, 3, kBp2Sr, kNo4B, 1400, 5000, {E(4096, 16, 0x20, 60, 300), E(65536, 1, 0xD8, 700, 2000)}, 700, 2000),  // u: times
      Nor("MX25L1006E", {}, 0xC22011, 128 * kKiB, 256, 3, kBp2Sr, kNo4B, 1400, 5000, {E(4096, 32, 0x20, 60, 300), E(65536, 2, 0xD8, 700, 2000)}, 1500, 3000),  // u: times
      Nor("MX25L2006E", {}, 0xC22012, 256 * kKiB, 256, 3, kBp2Sr, kNo4B, 1400, 5000, {E(4096, 64, 0x20, 60, 300), E(65536, 4, 0xD8, 700, 2000)}, 2000, 4000),  // u: times
      Nor("MX25L4006E", {}, 0xC22013, 512 * kKiB, 256, 3, kBp3Sr, kNo4B, 1400, 5000, {E(4096, 128, 0x20, 60, 300), E(65536, 8, 0xD8, 700, 2000)}, 3500, 7500),  // u: times
      Nor("MX25L8006E", {}, 0xC22014, 1 * kMiB, 256, 3, kBp3Sr, kNo4B, 1400, 5000, {E(4096, 256, 0x20, 60, 300), E(65536, 16, 0xD8, 700, 2000)}, 7500, 15000),  // u: times
      Nor("MX25L1606E", {}, 0xC22015, 2 * kMiB, 256, 3, kBp4Sr, kNo4B, 1400, 5000, {E(4096, 512, 0x20, 60, 300), E(65536, 32, 0xD8, 700, 2000)}, 15000, 30000),  // u: times
      Nor("MX25L3206E", {}, 0xC22016, 4 * kMiB, 256, 3, kBp4Sr, kNo4B, 1400, 5000, {E(4096, 1024, 0x20, 60, 300), E(65536, 64, 0xD8, 700, 2000)}, 25000, 50000),  // u: times
      Nor("MX25L3233F", {}, 0xC22016, 4 * kMiB, 256, 3, kMxCrSr, kNo4B, 500, 3000, {E(4096, 1024, 0x20, 40, 200), E(32768, 128, 0x52, 200, 1000), E(65536, 64, 0xD8, 400, 2000)}, 25000, 50000),  // u: times, sr
      Nor("MX25L6406E", {}, 0xC22017, 8 * kMiB, 256, 3, kBp4Sr, kNo4B, 1400, 5000, {E(4096, 2048, 0x20, 60, 300), E(65536, 128, 0xD8, 700, 2000)}, 50000, 80000),  // u: times
      Nor("MX25L6433F", {}, 0xC22017, 8 * kMiB, 256, 3, kMxCrSr, kNo4B, 500, 3000, {E(4096, 2048, 0x20, 40, 200), E(32768, 256, 0x52, 200, 1000), E(65536, 128, 0xD8, 400, 2000)}, 50000, 80000),  // u: times, sr
      Nor("MX25L12835F", {}, 0xC22018, 16 * kMiB, 256, 3, kMxCrSr, kNo4B, 500, 3000, {E(4096, 4096, 0x20, 40, 200), E(32768, 512, 0x52, 200, 1000), E(65536, 256, 0xD8, 400, 2000)}, 80000, 150000),  // u: times
      Nor("MX25L25645G", {}, 0xC22019, 32 * kMiB, 256, 4, kMxCrSr, k4BOps, 500, 3000, {E(4096, 8192, 0x20, 40, 200), E(32768, 1024, 0x52, 200, 1000), E(65536, 512, 0xD8, 400, 2000)}, 150000, 300000),  // u: times
      Nor("MX66L51245G", {}, 0xC2201A, 64 * kMiB, 256, 4, kMxCrSr, k4BOps, 500, 3000, {E(4096, 16384, 0x20, 40, 200), E(32768, 2048, 0x52, 200, 1000), E(65536, 1024, 0xD8, 400, 2000)}, 300000, 600000),  // u: times
      // GigaDevice GD25Q.
      Nor("GD25Q20C", {}, 0xC84012, 256 * kKiB, 256, 3, kGdSr, kNo4B, 600, 2400, {E(4096, 64, 0x20, 50, 400), E(32768, 8, 0x52, 150, 800), E(65536, 4, 0xD8, 250, 1200)}, 1000, 3000),  // u: times, sr
      Nor("GD25Q40C", {}, 0xC84013, 512 * kKiB, 256, 3, kGdSr2B, kNo4B, 600, 2400, {E(4096, 128, 0x20, 50, 400), E(32768, 16, 0x52, 150, 800), E(65536, 8, 0xD8, 250, 1200)}, 2000, 5000),  // u: times, sr bits
      Nor("GD25Q80C", {}, 0xC84014, 1 * kMiB, 256, 3, kGdSr2B, kNo4B, 600, 2400, {E(4096, 256, 0x20, 50, 400), E(32768, 32, 0x52, 150, 800), E(65536, 16, 0xD8, 250, 1200)}, 4000, 10000),  // u: times, sr bits
      Nor("GD25Q16C", {}, 0xC84015, 2 * kMiB, 256, 3, kGdSr2B, kNo4B, 600, 2400, {E(4096, 512, 0x20, 50, 400), E(32768, 64, 0x52, 150, 800), E(65536, 32, 0xD8, 250, 1200)}, 7000, 20000),  // u: times, sr bits
      Nor("GD25Q32C", {}, 0xC84016, 4 * kMiB, 256, 3, kGdSr, kNo4B, 600, 2400, {E(4096, 1024, 0x20, 50, 400), E(32768, 128, 0x52, 150, 800), E(65536, 64, 0xD8, 250, 1200)}, 15000, 40000),  // u: times
      Nor("GD25Q64C", {}, 0xC84017, 8 * kMiB, 256, 3, kGdSr, kNo4B, 600, 2400, {E(4096, 2048, 0x20, 50, 400), E(32768, 256, 0x52, 150, 800), E(65536, 128, 0xD8, 250, 1200)}, 25000, 60000),  // u: times
      Nor("GD25Q128C", {}, 0xC84018, 16 * kMiB, 256, 3, kGdSr, kNo4B, 600, 2400, {E(4096, 4096, 0x20, 50, 400), E(32768, 512, 0x52, 150, 800), E(65536, 256, 0xD8, 250, 1200)}, 50000, 120000),  // u: times
      Nor("GD25Q256D", {}, 0xC84019, 32 * kMiB, 256, 4, kGdSr, k4BEnter, 600, 2400, {E(4096, 8192, 0x20, 50, 400), E(32768, 1024, 0x52, 150, 800), E(65536, 512, 0xD8, 250, 1200)}, 100000, 250000),  // u: times, sr, 4b
      // ISSI IS25LP: BP0-3 in SR, TB in the function register (OTP).
      Nor("IS25LP080D", {}, 0x9D6014, 1 * kMiB, 256, 3, kBp4Sr, kNo4B, 200, 800, {E(4096, 256, 0x20, 70, 300), E(32768, 32, 0x52, 100, 500), E(65536, 16, 0xD8, 150, 1000)}, 3000, 10000),  // u: times
      Nor("IS25LP016D", {}, 0x9D6015, 2 * kMiB, 256, 3, kBp4Sr, kNo4B, 200, 800, {E(4096, 512, 0x20, 70, 300), E(32768, 64, 0x52, 100, 500), E(65536, 32, 0xD8, 150, 1000)}, 5000, 20000),  // u: times
      Nor("IS25LP032D", {}, 0x9D6016, 4 * kMiB, 256, 3, kBp4Sr, kNo4B, 200, 800, {E(4096, 1024, 0x20, 70, 300), E(32768, 128, 0x52, 100, 500), E(65536, 64, 0xD8, 150, 1000)}, 10000, 30000),  // u: times
      Nor("IS25LP064A", {}, 0x9D6017, 8 * kMiB, 256, 3, kBp4Sr, kNo4B, 200, 800, {E(4096, 2048, 0x20, 70, 300), E(32768, 256, 0x52, 100, 500), E(65536, 128, 0xD8, 150, 1000)}, 20000, 45000),  // u: times
      Nor("IS25LP128F", {}, 0x9D6018, 16 * kMiB, 256, 3, kBp4Sr, kNo4B, 200, 800, {E(4096, 4096, 0x20, 70, 300), E(32768, 512, 0x52, 100, 500), E(65536, 256, 0xD8, 150, 1000)}, 40000, 90000),  // u: times
      Nor("IS25LP256D", {}, 0x9D6019, 32 * kMiB, 256, 4, kBp4Sr, k4BOps, 200, 800, {E(4096, 8192, 0x20, 70, 300), E(32768, 1024, 0x52, 100, 500), E(65536, 512, 0xD8, 150, 1000)}, 80000, 180000),  // u: times
      Nor("IS25LP512M", {}, 0x9D601A, 64 * kMiB, 256, 4, kBp4Sr, k4BOps, 200, 800, {E(4096, 16384, 0x20, 70, 300), E(32768, 2048, 0x52, 100, 500), E(65536, 1024, 0xD8, 150, 1000)}, 160000, 360000),  // u: times
      // Micron M25P (64 KB sector erase 0xD8 only; JEDEC 2-byte signature
      // 20xx after manufacturer 20h; M25P16: 0.64 ms page program, 0.6 s sector,
      // 13 s bulk erase typical) and N25Q / MT25Q (4 KB subsector 0x20).
      Nor("M25P80", {}, 0x202014, 1 * kMiB, 256, 3, kBp3Sr, kNo4B, 640, 5000, {E(65536, 16, 0xD8, 600, 3000)}, 8000, 20000),  // u: max times
      Nor("M25P16", {}, 0x202015, 2 * kMiB, 256, 3, kBp3Sr, kNo4B, 640, 5000, {E(65536, 32, 0xD8, 600, 3000)}, 13000, 40000),  // u: max times
      Nor("M25P32", {}, 0x202016, 4 * kMiB, 256, 3, kBp3Sr, kNo4B, 640, 5000, {E(65536, 64, 0xD8, 600, 3000)}, 23000, 80000),  // u: max times
      Nor("M25P64", {}, 0x202017, 8 * kMiB, 256, 3, kBp3Sr, kNo4B, 1400, 5000, {E(65536, 128, 0xD8, 1000, 3000)}, 68000, 160000),  // u: erase times, max times
      Nor("N25Q032A", {}, 0x20BA16, 4 * kMiB, 256, 3, kMicron32Sr, kNo4B, 500, 5000, {E(4096, 1024, 0x20, 250, 800), E(65536, 64, 0xD8, 700, 3000)}, 30000, 60000),  // u: times
      Nor("N25Q064A", {}, 0x20BA17, 8 * kMiB, 256, 3, kMicronSr, kNo4B, 500, 5000, {E(4096, 2048, 0x20, 250, 800), E(65536, 128, 0xD8, 700, 3000)}, 60000, 120000),  // u: times
      Nor("N25Q128A", {}, 0x20BA18, 16 * kMiB, 256, 3, kMicronSr, kNo4B, 500, 5000, {E(4096, 4096, 0x20, 250, 800), E(65536, 256, 0xD8, 700, 3000)}, 170000, 250000),  // u: times
      Nor("N25Q256A", {}, 0x20BA19, 32 * kMiB, 256, 4, kMicronSr, k4BEnter, 500, 5000, {E(4096, 8192, 0x20, 250, 800), E(65536, 512, 0xD8, 700, 3000)}, 240000, 480000),  // u: times, 4b
      Nor("MT25QL256A", {}, 0x20BA19, 32 * kMiB, 256, 4, kMicronSr, k4BOps, 120, 1800, {E(4096, 8192, 0x20, 50, 400), E(32768, 1024, 0x52, 100, 1000), E(65536, 512, 0xD8, 150, 1000)}, 153000, 480000),  // u: times
      Nor("MT25QL512A", {}, 0x20BA20, 64 * kMiB, 256, 4, kMicronSr, k4BOps, 120, 1800, {E(4096, 16384, 0x20, 50, 400), E(32768, 2048, 0x52, 100, 1000), E(65536, 1024, 0xD8, 150, 1000)}, 306000, 960000),  // u: times
      // Infineon/Spansion S25FL. FL-K: Winbond-style registers, WRR writes
      // SR1 and SR2; 4 KB and 64 KB erase only. FL-S: 64 KB (256 KB on the 512S) sectors; the 4 KB 0x20
      // erase covers only the parameter sectors and is therefore not listed.
      Nor("S25FL116K", {}, 0x014015, 2 * kMiB, 256, 3, kW25qSr2B, kNo4B, 700, 3000, {E(4096, 512, 0x20, 45, 300), E(65536, 32, 0xD8, 250, 1000)}, 7000, 20000),  // u: times
      Nor("S25FL132K", {}, 0x014016, 4 * kMiB, 256, 3, kW25qSr2B, kNo4B, 700, 3000, {E(4096, 1024, 0x20, 45, 300), E(65536, 64, 0xD8, 250, 1000)}, 14000, 40000),  // u: times
      Nor("S25FL164K", {}, 0x014017, 8 * kMiB, 256, 3, kW25qSr2B, kNo4B, 700, 3000, {E(4096, 2048, 0x20, 45, 300), E(65536, 128, 0xD8, 250, 1000)}, 28000, 80000),  // u: times
      Nor("S25FL127S", {}, 0x012018, 16 * kMiB, 256, 3, kFlsSr, kNo4B, 250, 750, {E(65536, 256, 0xD8, 130, 650)}, 33000, 165000),  // u: times
      Nor("S25FL256S", {}, 0x010219, 32 * kMiB, 256, 4, kFlsSr, k4BOps, 250, 750, {E(65536, 512, 0xD8, 130, 650)}, 66000, 330000),  // u: times; 64 KB sector variant
      Nor("S25FL512S", {}, 0x010220, 64 * kMiB, 512, 4, kFlsSr, k4BOps, 340, 750, {E(262144, 256, 0xD8, 520, 2600)}, 103000, 460000),  // u: times
      // EON EN25.
      Nor("EN25F80", {}, 0x1C3114, 1 * kMiB, 256, 3, kBp3Sr, kNo4B, 1500, 5000, {E(4096, 256, 0x20, 90, 300), E(65536, 16, 0xD8, 500, 2000)}, 10000, 20000),  // u: times, id, sr
      Nor("EN25Q32B", {}, 0x1C3016, 4 * kMiB, 256, 3, kBp4Sr, kNo4B, 1300, 5000, {E(4096, 1024, 0x20, 90, 300), E(65536, 64, 0xD8, 500, 2000)}, 30000, 60000),  // u: times, id, sr
      Nor("EN25Q64", {}, 0x1C3017, 8 * kMiB, 256, 3, kBp4Sr, kNo4B, 1300, 5000, {E(4096, 2048, 0x20, 90, 300), E(65536, 128, 0xD8, 500, 2000)}, 30000, 120000),  // u: max times, id, sr
      Nor("EN25Q128", {}, 0x1C3018, 16 * kMiB, 256, 3, kBp4Sr, kNo4B, 800, 5000, {E(4096, 4096, 0x20, 50, 300), E(65536, 256, 0xD8, 200, 2000)}, 45000, 240000),  // u: max times, id, sr
      Nor("EN25QH128A", {}, 0x1C7018, 16 * kMiB, 256, 3, kBp4Sr, kNo4B, 800, 3000, {E(4096, 4096, 0x20, 45, 300), E(32768, 512, 0x52, 150, 800), E(65536, 256, 0xD8, 250, 1000)}, 60000, 150000),  // u: times, id, sr
      // XMC XM25QH (Winbond-compatible registers).
      Nor("XM25QH64C", {}, 0x204017, 8 * kMiB, 256, 3, kW25qSr, kNo4B, 500, 3000, {E(4096, 2048, 0x20, 45, 400), E(32768, 256, 0x52, 150, 1600), E(65536, 128, 0xD8, 250, 2000)}, 30000, 100000),  // u: times, id, sr
      Nor("XM25QH128C", {}, 0x204018, 16 * kMiB, 256, 3, kW25qSr, kNo4B, 500, 3000, {E(4096, 4096, 0x20, 45, 400), E(32768, 512, 0x52, 150, 1600), E(65536, 256, 0xD8, 250, 2000)}, 60000, 200000),  // u: times, id, sr
      // Puya P25Q (Winbond-compatible registers).
      Nor("P25Q80H", {}, 0x856014, 1 * kMiB, 256, 3, kW25qSr, kNo4B, 1500, 3000, {E(4096, 256, 0x20, 8, 30), E(32768, 32, 0x52, 8, 30), E(65536, 16, 0xD8, 8, 30)}, 8, 30),  // u: times, id, sr
      Nor("P25Q16H", {}, 0x856015, 2 * kMiB, 256, 3, kW25qSr, kNo4B, 1500, 3000, {E(4096, 512, 0x20, 8, 30), E(32768, 64, 0x52, 8, 30), E(65536, 32, 0xD8, 8, 30)}, 8, 30),  // u: times, id, sr
      Nor("P25Q32H", {}, 0x856016, 4 * kMiB, 256, 3, kW25qSr, kNo4B, 1500, 3000, {E(4096, 1024, 0x20, 8, 30), E(32768, 128, 0x52, 8, 30), E(65536, 64, 0xD8, 8, 30)}, 8, 30),  // u: times, id, sr
      Nor("P25Q64H", {}, 0x856017, 8 * kMiB, 256, 3, kW25qSr, kNo4B, 1500, 3000, {E(4096, 2048, 0x20, 8, 30), E(32768, 256, 0x52, 8, 30), E(65536, 128, 0xD8, 8, 30)}, 8, 30),  // u: times, id, sr
      // Adesto/Atmel AT25SF (Winbond-style registers) and AT25DF (sector locking by command).
      Nor("AT25SF041", {}, 0x1F8401, 512 * kKiB, 256, 3, kW25qSr, kNo4B, 700, 2500, {E(4096, 128, 0x20, 70, 300), E(32768, 16, 0x52, 300, 1300), E(65536, 8, 0xD8, 600, 3000)}, 5000, 10000),  // u: max times, chip erase, sr
      Nor("AT25SF081", {}, 0x1F8501, 1 * kMiB, 256, 3, kW25qSr, kNo4B, 700, 2500, {E(4096, 256, 0x20, 70, 300), E(32768, 32, 0x52, 300, 1300), E(65536, 16, 0xD8, 600, 3000)}, 9000, 20000),  // u: max times, chip erase, sr
      Nor("AT25SF161", {}, 0x1F8601, 2 * kMiB, 256, 3, kW25qSr, kNo4B, 700, 2500, {E(4096, 512, 0x20, 70, 300), E(32768, 64, 0x52, 300, 1300), E(65536, 32, 0xD8, 600, 3000)}, 18000, 40000),  // u: max times, chip erase, sr
      Nor("AT25SF321", {}, 0x1F8701, 4 * kMiB, 256, 3, kW25qSr, kNo4B, 700, 2500, {E(4096, 1024, 0x20, 70, 300), E(32768, 128, 0x52, 300, 1300), E(65536, 64, 0xD8, 600, 3000)}, 36000, 80000),  // u: max times, chip erase, sr
      Nor("AT25DF321A", {}, 0x1F4701, 4 * kMiB, 256, 3, kSectorLockSr, kNo4B, 1000, 5000, {E(4096, 1024, 0x20, 50, 200), E(32768, 128, 0x52, 250, 600), E(65536, 64, 0xD8, 400, 950)}, 36000, 56000),  // u: max times, chip erase
      Nor("AT25DF641A", {}, 0x1F4800, 8 * kMiB, 256, 3, kSectorLockSr, kNo4B, 2500, 5000, {E(4096, 2048, 0x20, 75, 200), E(32768, 256, 0x52, 300, 600), E(65536, 128, 0xD8, 600, 950)}, 72000, 112000),  // u: max times, chip erase

      // ---- Atmel/Adesto AT45DB DataFlash, standard page size; D and E revisions
      // keep the geometry and ID. The two sector kinds (0a/0b) are not uniform
      // and are left out of the erase kinds.
      Df("AT45DB011", {"AT45DB011D"}, 0x1F2200, 512, 264, 14000, 35000, 13000, 32000, 30000, 75000, 1500, 4000),  // u: times
      Df("AT45DB021", {"AT45DB021D", "AT45DB021E"}, 0x1F2300, 1024, 264, 14000, 35000, 13000, 32000, 30000, 75000, 3000, 8000),  // u: times
      Df("AT45DB041", {"AT45DB041D", "AT45DB041E"}, 0x1F2400, 2048, 264, 17000, 40000, 15000, 35000, 45000, 100000, 6000, 12000),  // u: times
      Df("AT45DB081", {"AT45DB081D", "AT45DB081E"}, 0x1F2500, 4096, 264, 17000, 40000, 15000, 35000, 45000, 100000, 12000, 24000),  // u: times
      Df("AT45DB161", {"AT45DB161D", "AT45DB161E"}, 0x1F2600, 4096, 528, 17000, 40000, 15000, 35000, 45000, 100000, 24000, 48000),  // u: times
      Df("AT45DB321", {"AT45DB321D", "AT45DB321E"}, 0x1F2700, 8192, 528, 17000, 40000, 15000, 35000, 45000, 100000, 48000, 96000),  // u: times
  };
  // clang-format on
  return rows;
}

}  // namespace zylisp
