// Microwire 93-series EEPROM model.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zylsim/chip.h"

namespace zylsim {

// A command is a start bit (leading zeros while selected are ignored), two
// opcode bits and the address bits: READ 10, WRITE 01, ERASE 11, and with
// opcode 00 the two top address bits pick EWEN 11, EWDS 00, ERAL 10,
// WRAL 01. Items are bytes (organisation 8) or words (16, one address bit
// fewer); address bits above the array are don't care. Writes and erases are
// refused until EWEN (power-up state: disabled); their self-timed cycle starts
// when CS falls after a complete command. While CS is high again after such a
// cycle, DO shows READY/BUSY (1/0) until the next start bit. Words are stored
// low byte first and shifted most significant bit first.
class MicrowireEeprom : public Chip {
 public:
  // addressBitsX8: address bits of the byte organisation.
  MicrowireEeprom(std::size_t size, int addressBitsX8, int organisation);
  int BusKind() const override { return 2; }

  void Select();    // CS high
  void Deselect();  // CS low
  // One rising clock edge with DI = bit; returns DO after the edge.
  bool Clock(bool di);
  // DO level without clocking (READY/BUSY while selected after a write).
  bool DataOut() const;
  int Organisation() const { return organisation_; }  // 8 or 16

  // Start, opcode and address bits of a command in this organisation.
  int CommandBits() const { return 3 + addressBits_; }

 private:
  enum class State { Idle, Command, DataIn, ReadOut, Complete, Done };
  enum class Op { None, Read, Write, Erase, Ewen, Ewds, Eral, Wral };

  void Decode();
  void LoadItem();
  void StoreItem(uint32_t item, uint16_t value);

  int organisation_;
  int addressBits_;
  uint32_t items_;

  bool selected_ = false;
  bool enabled_ = false;
  bool showStatus_ = false;  // READY/BUSY on DO until the next start bit
  bool cycleArmed_ = false;  // a write/erase cycle ran since the last start bit
  State state_ = State::Idle;
  Op op_ = Op::None;
  uint32_t shift_ = 0;  // bits collected after the start bit
  int count_ = 0;
  uint32_t address_ = 0;
  uint16_t data_ = 0;
  uint16_t outWord_ = 0;
  int outBit_ = 0;
  bool do_ = true;
};

}  // namespace zylsim
