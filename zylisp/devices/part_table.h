// The table of known parts as data: one row per part marking, carrying
// every fact an operation needs (geometry, addressing, erase commands,
// status register layout, timings), so that drivers read the row and never
// infer a fact from the size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zylisp {

enum class EPartFamily : uint8_t { I2CEeprom, SpiEeprom, Microwire, SpiFlash, DataFlash };

// Where the address bits above the address bytes travel.
enum class EHighAddress : uint8_t {
  None,
  I2CBlockBits1To3,  // 24C04..24C16: A8, A9, A10 in bits 1..3 of the control byte
  I2CBit1,           // 24C1024, M24M01: A16 in bit 1 of the control byte
  I2CBit3,           // 24xx1025: A16 as block select in bit 3 of the control byte
  I2CBits1To2,       // 2-Mbit parts: A16 in bit 1, A17 in bit 2 of the control byte
  SpiOpcodeBit3,     // 4-Kbit 25xx040: A8 in bit 3 of the read/write opcode
};

// Microwire word organisation.
enum class EMicrowireOrg : uint8_t {
  None,        // not a Microwire part
  Selectable,  // ORG pin chooses x8 or x16
  Fixed8,      // "A" parts, e.g. 93LC46A
  Fixed16,     // "B" parts, e.g. 93LC46B
};

// How a flash part above 16 MiB is addressed with four bytes.
enum class EFourByteMode : uint8_t {
  None,
  FourByteOpcodes,  // dedicated commands: read 0x13, program 0x12, erase 0x21 / 0xDC
  EnterExitOnly,    // only 0xB7 (enter) / 0xE9 (exit), then the 3-byte opcodes
};

// How the status register(s) are written.
enum class EStatusWrite : uint8_t {
  None,         // no status register (I2C, Microwire, DataFlash rows here)
  OneByte,      // WRSR 0x01 with one byte
  TwoBytes,     // WRSR 0x01 with SR1 then SR2 (or configuration register)
  SeparateSr2,  // WRSR 0x01 for SR1, 0x31 for SR2
};

// Block protection bits. Masks cover SR1 in the low byte and SR2 (or the
// configuration register written with it) in the high byte.
struct TStatusLayout {
  EStatusWrite Write = EStatusWrite::None;
  uint8_t Registers = 0;  // status registers the part has
  uint16_t Bp = 0;        // BP0..BPn
  uint16_t Tb = 0;        // top/bottom
  uint16_t Sec = 0;       // sector/block granularity
  uint16_t Cmp = 0;       // complement
  // SR1 bits that say sectors are locked by command instead (a protection
  // register per 64 KiB sector, read by 0x3C; a status write of 0 unlocks
  // every sector).
  uint16_t Locks = 0;
};

// One kind of erase command: Count blocks of Size bytes cover the part.
struct TEraseKind {
  uint32_t Size = 0;
  uint32_t Count = 0;
  uint8_t Opcode = 0;
  uint32_t TypMs = 0;  // 0 where the datasheet gives no typical figure
  uint32_t MaxMs = 0;
};

struct TPartRow {
  EPartFamily Family = EPartFamily::I2CEeprom;
  std::string Name;
  // Markings of other makers for the same part: same size, page and
  // addressing.
  std::vector<std::string> Aliases;
  int32_t Size = 0;          // bytes
  int32_t PageSize = 0;      // write page in bytes (DataFlash: page incl. spare bytes)
  uint8_t AddressBytes = 0;  // address bytes on the bus (Microwire: bytes the x8 address needs)
  EHighAddress HighAddress = EHighAddress::None;
  EMicrowireOrg Organisation = EMicrowireOrg::None;
  uint8_t AddressBits8 = 0;   // Microwire address bits with x8 words, 0 when not offered
  uint8_t AddressBits16 = 0;  // ... with x16 words
  uint32_t JedecId = 0;       // manufacturer << 16 | type << 8 | capacity; 0 for none
  std::vector<TEraseKind> Erase;  // at most 4 kinds
  uint8_t ChipEraseOpcode = 0;    // 0 when the part has none
  uint32_t ChipEraseTypMs = 0;
  uint32_t ChipEraseMaxMs = 0;
  TStatusLayout Status;
  EFourByteMode FourByte = EFourByteMode::None;
  uint32_t WriteTypUs = 0;  // byte/page write or page program; 0 typical when not given
  uint32_t WriteMaxUs = 0;
};

// Every row, the classic catalogue's first and in its order.
const std::vector<TPartRow>& PartRows();

// The row whose name or alias matches, ignoring case and surrounding
// spaces; nullptr when none does.
const TPartRow* FindPart(const std::string& nameOrAlias);

// Rows answering with that JEDEC ID, in table order (several parts share
// one ID); empty for 0.
std::vector<const TPartRow*> PartsWithJedecId(uint32_t jedecId);

}  // namespace zylisp
