// Two-wire 24-series EEPROM model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zylsim/chip.h"

namespace zylsim {

// The control byte is 1010 b3 b2 b1 R/W. What b3..b1 mean depends on the
// part's size, as on the data sheets of the 24-series:
//   16 bytes (24C00)          don't care
//   128, 256 bytes            chip-select pins A2 A1 A0
//   512 bytes (24C04)         A2 A1 pins, block bit P0
//   1 KiB (24C08)             A2 pin, block bits P1 P0
//   2 KiB (24C16)             block bits P2 P1 P0, no pins
//   4 KiB .. 64 KiB           chip-select pins A2 A1 A0, two address bytes
//   128 KiB (24C1024, M24M01) A2 A1 pins, address bit 16 in b1
//   128 KiB (24xx1025)        block bit (address bit 16) in b3, A1 A0 pins in
//                             b2 b1; the A2 pin must be strapped high or the
//                             part answers nothing (kBlockBitB3)
//   256 KiB (M24M02)          E2 pin in b3, address bits 17 16 in b2 b1
// Block bits are the address bits above the single address byte. Pins are
// strapped low unless SetAddressPins says otherwise; a control byte whose pin
// bits differ from the straps is not acknowledged. Reads start at the address
// counter (set by the address bytes of a write, kept across transactions);
// the block bits of a read control byte are not decoded.
class I2CEeprom : public Chip {
 public:
  enum Layout { kBySize, kBlockBitB3 };
  // A kBlockBitB3 part starts with its A2 pin strapped high.
  I2CEeprom(std::size_t size, int pageSize, Layout layout = kBySize);
  int BusKind() const override { return 0; }

  void Start();
  void Stop();
  // Returns true when the chip acknowledges the byte.
  bool WriteByte(uint8_t value);
  // The host acknowledges with ack = true, ends the read with false.
  uint8_t ReadByte(bool ack);

  // Straps the chip-select pins; bit 2 = A2, bit 1 = A1, bit 0 = A0.
  void SetAddressPins(unsigned pins) { pins_ = pins & 7u; }

 private:
  enum class State { Idle, Control, Address, Data, Read, Ignore };

  bool Addressed(uint8_t control) const;
  void CommitPage();

  int pageSize_;
  int addressBytes_;     // 1 or 2
  int blockShift_;       // where the block bits land in the address (8 or 16)
  unsigned pinMask_;     // control bits 3..1 that are pins, as bits 2..0
  unsigned blockMask_;   // control bits 3..1 that are address bits, as bits 2..0
  unsigned blockLow_ = 0;  // lowest bit of blockMask_
  bool needsA2_ = false;   // answers only with A2 strapped high
  unsigned pins_ = 0;

  State state_ = State::Idle;
  uint32_t counter_ = 0;  // address counter, kept across transactions
  uint32_t pending_ = 0;  // address being assembled
  int addressLeft_ = 0;
  // Page latch of the write in progress: offsets written, in order.
  std::vector<uint8_t> latch_;
  std::vector<bool> latched_;
  uint32_t pageBase_ = 0;
  uint32_t pageOffset_ = 0;
  bool anyLatched_ = false;
};

}  // namespace zylsim
