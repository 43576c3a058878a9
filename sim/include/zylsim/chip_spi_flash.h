// SPI NOR flash model (25Q-class serial flash).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "zylsim/chip.h"
#include "zylsim/statistics.h"

namespace zylsim {

// Which status/configuration registers a part has and how they are written.
enum SpiFlashRegisters : uint8_t {
  kFlashSr2 = 1,      // SR2 read with 0x35 (QE bit 1, CMP bit 6)
  kFlashWrsr2 = 2,    // WRSR 0x01 takes a second byte: SR2, or CR with kFlashCr
  kFlashWrite31 = 4,  // 0x31 writes SR2
  kFlashSr3 = 8,      // SR3 read with 0x15, written with 0x11 (4-byte parts: ADS bit 0, ADP bit 1)
  kFlashCr = 16,      // configuration register read with 0x15 (TB bit 3, one-time; 4BYTE bit 5)
  kFlashQe1 = 32,     // QE is SR1 bit 6
  // Sector locks instead of BP bits: a protection register per 64 KiB
  // sector, all set at power-up; 0x36 / 0x39 + address lock / unlock one,
  // 0x3C + address reads it (FF locked, 00 not); a status write with SR1
  // bits 2-5 all 0 unlocks every sector, all 1 locks every one, unless SPRL
  // (bit 7) was set; SR1 bits 2-3 read 00 (none), 01 (some), 11 (all locked).
  kFlashSectorLocks = 64,
};

// One part as its data sheet describes it. Times are typical values.
struct SpiFlashPart {
  const char* name;
  uint32_t jedecId;    // manufacturer, memory type, capacity
  uint32_t size;       // bytes
  uint16_t pageSize;   // program page
  uint8_t erase52Kib;  // what 0x52 erases: 32 or 64 KiB, 0 when the part lacks it
  uint8_t registers;   // SpiFlashRegisters
  // Block protection: the SR1 bits that form BP0.. (low bit first), the SR1
  // bit of TB (0: none, or in CR with kFlashCr), the SR1 bit of SEC (0: none).
  // CMP is SR2 bit 6 where the part has SR2.
  uint8_t bpMask;
  uint8_t tbMask;
  uint8_t secMask;
  bool fourByte;  // B7/E9 and the 4-byte opcodes 0x13 0x0C 0x12 0x21 0xDC
  bool sfdp;      // answers 0x5A
  uint32_t programUs;
  uint32_t erase4kUs;
  uint32_t erase32kUs;
  uint32_t erase64kUs;
  uint32_t chipEraseMs;
  uint32_t statusWriteUs;
};

// Commands: 0x9F JEDEC ID, 0x5A SFDP, 0x05/0x35/0x15 status reads, 0x01
// (1 or 2 bytes) / 0x31 / 0x11 status writes, 0x06 WREN, 0x04 WRDI, 0x03
// READ, 0x0B FAST READ, 0x02 PAGE PROGRAM, 0x20/0x52/0xD8 erase, 0xC7/0x60
// chip erase, and on 4-byte parts 0xB7/0xE9 and 0x13/0x0C/0x12/0x21/0xDC.
// Program and erase take effect when CS rises after a complete command; the
// part is then busy for the row's time and decodes only status reads.
// A program only clears bits; bytes past the page end wrap inside the page.
// Programs and erases that touch a protected range are dropped; WEL clears
// after every accepted program, erase or status write all the same.
class SpiFlash : public SpiChip {
 public:
  explicit SpiFlash(const SpiFlashPart& part);

  void Select() override;
  void Deselect() override;
  uint8_t Transfer(uint8_t out) override;
  void PowerUp() override;

  const SpiFlashPart& Part() const { return part_; }
  // The ID 0x9F answers (a test stand-in for an unknown part).
  void OverrideJedecId(uint32_t id) { jedecId_ = id & 0xFFFFFF; }
  // Counters go to stats from now on (the model's own until then).
  void AttachStatistics(Statistics* stats);
  const Statistics& Stats() const { return *stats_; }
  bool FourByteMode() const { return fourByteMode_; }
  // Status register n (1..3; 3 is CR on parts with kFlashCr).
  uint8_t StatusRegister(int n) const;
  // The SFDP area as 0x5A reads it from address 0.
  const std::vector<uint8_t>& Sfdp() const { return sfdp_; }
  // True when any byte of [address, address + length) is protected.
  bool Protected(uint32_t address, uint32_t length) const;

 private:
  enum class Op {
    None, Ignore, Simple, JedecId, Sfdp, ReadReg, WriteReg, Read, Program, Erase, Lock, ReadLock
  };

  void Decode(uint8_t opcode);
  void Execute();
  void Erase(uint32_t length, uint64_t us, uint64_t Statistics::*counter);
  void SetFourByteMode(bool on);
  void BuildSfdp();

  SpiFlashPart part_;
  uint32_t jedecId_;
  Statistics own_;
  Statistics* stats_ = &own_;
  std::vector<uint8_t> sfdp_;

  bool selected_ = false;
  bool wel_ = false;
  bool fourByteMode_ = false;
  std::array<uint8_t, 3> reg_{};  // SR1 (without WIP/WEL), SR2, SR3 or CR
  std::vector<bool> locks_;       // per 64 KiB sector, with kFlashSectorLocks

  Op op_ = Op::None;
  uint8_t opcode_ = 0;
  unsigned addressLen_ = 0;  // address bytes after the opcode
  unsigned dummyLen_ = 0;    // dummy bytes after the address
  uint32_t address_ = 0;
  int regIndex_ = 0;  // register a read or write starts at
  std::array<uint8_t, 2> regValue_{};
  unsigned byteCount_ = 0;  // bytes after the opcode
  std::vector<uint8_t> latch_;
  std::vector<bool> latched_;
  uint32_t pageOffset_ = 0;
  bool anyLatched_ = false;
};

}  // namespace zylsim
