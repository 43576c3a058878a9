// AT45DB DataFlash model (buffer 1 only).
#pragma once

#include <cstdint>
#include <vector>

#include "zylsim/chip.h"

namespace zylsim {

// Addresses are three bytes: page number << PageAddressShift() | byte in the
// page. Opcodes: status read 0xD7 (bit 7 ready, bit 6 compare mismatch, bits
// 5..2 density code), main memory page read 0xD2 (four don't-care bytes,
// wraps inside the page), continuous array read 0xE8 (four don't-care bytes)
// and 0x03 (none), both wrapping at the end of the array; buffer 1 write 0x84,
// buffer 1 to page with erase 0x83 and without 0x88, page program through
// buffer 1 0x82, page to buffer 1 transfer 0x53 and compare 0x60, page erase
// 0x81, block (8 pages) erase 0x50. Program and erase commands run when CS
// rises after a complete address and keep the part busy for the write-cycle
// time; while busy only the status read answers.
class At45DataFlash : public SpiChip {
 public:
  At45DataFlash(int pageSize, int pageCount, int pageAddressShift, uint8_t densityCode);
  int BusKind() const override { return 3; }

  void Select() override;
  void Deselect() override;
  uint8_t Transfer(uint8_t out) override;
  uint8_t StatusRegister() const;

  int PageSize() const { return pageSize_; }
  int PageCount() const { return pageCount_; }
  // Bits the page number is shifted left by in a 24-bit address (9 or 10).
  int PageAddressShift() const { return shift_; }

 private:
  uint32_t Page() const;
  void Execute();
  void ErasePages(uint32_t first, uint32_t count);

  int pageSize_;
  int pageCount_;
  int shift_;
  uint8_t density_;
  std::vector<uint8_t> buffer_;
  bool compareMismatch_ = false;

  bool selected_ = false;
  uint8_t opcode_ = 0;
  bool haveOpcode_ = false;
  bool ignore_ = false;
  uint32_t address_ = 0;
  int addressLeft_ = 0;
  int dummyLeft_ = 0;
  uint32_t cursor_ = 0;  // byte position of an ongoing read or buffer write
};

}  // namespace zylsim
