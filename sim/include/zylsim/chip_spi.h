// SPI 25-series EEPROM model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zylsim/chip.h"

namespace zylsim {

// Opcodes WREN 0x06, WRDI 0x04, RDSR 0x05, WRSR 0x01, READ 0x03, WRITE 0x02.
// Parts of up to 512 bytes take one address byte and carry A8 in bit 3 of the
// READ and WRITE opcodes (0x0B, 0x0A; a don't-care bit below 512 bytes);
// parts up to 64 KiB take two address bytes, 128 KiB and larger three, and
// only the plain opcodes. Address bits above the array are don't care.
// Status register: WIP bit 0, WEL bit 1, BP0 bit 2, BP1 bit 3 (non-volatile).
// BP1:BP0 = 01 protects the upper quarter, 10 the upper half, 11 everything;
// writes into a protected area are dropped without a word.
class SpiEeprom : public SpiChip {
 public:
  SpiEeprom(std::size_t size, int pageSize);

  void Select() override;
  void Deselect() override;
  uint8_t Transfer(uint8_t out) override;
  // WIP, WEL, BP0, BP1.
  uint8_t StatusRegister() const;

  // First protected address for the present BP bits (the size when none).
  uint32_t ProtectedFrom() const;

 private:
  enum class Op { None, Ignore, Wren, Wrdi, Rdsr, Wrsr, Read, Write };

  void CommitPage();

  int pageSize_;
  int addressBytes_;
  bool selected_ = false;
  bool wel_ = false;
  uint8_t bp_ = 0;  // BP1:BP0

  Op op_ = Op::None;
  uint32_t address_ = 0;
  int addressLeft_ = 0;
  bool wrsrValueSeen_ = false;
  uint8_t wrsrValue_ = 0;
  std::vector<uint8_t> latch_;
  std::vector<bool> latched_;
  uint32_t pageBase_ = 0;
  uint32_t pageOffset_ = 0;
  bool anyLatched_ = false;
};

}  // namespace zylsim
