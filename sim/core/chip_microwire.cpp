#include "zylsim/chip_microwire.h"

namespace zylsim {

MicrowireEeprom::MicrowireEeprom(std::size_t size, int addressBitsX8, int organisation)
    : Chip(size),
      organisation_(organisation == 16 ? 16 : 8),
      addressBits_(organisation == 16 ? addressBitsX8 - 1 : addressBitsX8),
      items_(static_cast<uint32_t>(organisation == 16 ? size / 2 : size)) {
  if (items_ == 0) items_ = 1;
}

void MicrowireEeprom::Select() {
  if (selected_) return;
  selected_ = true;
  state_ = State::Idle;
  op_ = Op::None;
  showStatus_ = cycleArmed_;
}

void MicrowireEeprom::Deselect() {
  if (!selected_) return;
  selected_ = false;
  if (state_ == State::Complete && enabled_) {
    // The self-timed cycle starts on the falling edge of CS. WRITE and ERASE
    // store one item, WRAL and ERAL all; an erase stores the ones Decode set.
    const bool all = op_ == Op::Eral || op_ == Op::Wral;
    for (uint32_t i = all ? 0 : address_; i < (all ? items_ : address_ + 1); ++i) StoreItem(i, data_);
    BeginWriteCycle();
    cycleArmed_ = true;
  }
  state_ = State::Idle;
  op_ = Op::None;
  showStatus_ = false;
  do_ = true;
}

bool MicrowireEeprom::Clock(bool di) {
  if (!selected_) return DataOut();
  switch (state_) {
    case State::Idle:
      // Leading zeros are not start bits; nothing is decoded while busy.
      if (di && !Busy()) {
        showStatus_ = false;
        cycleArmed_ = false;
        state_ = State::Command;
        shift_ = 0;
        count_ = 0;
      }
      break;
    case State::Command:
      shift_ = (shift_ << 1) | (di ? 1u : 0u);
      if (++count_ == 2 + addressBits_) Decode();
      break;
    case State::DataIn:
      data_ = static_cast<uint16_t>((data_ << 1) | (di ? 1 : 0));
      if (++count_ == organisation_) state_ = State::Complete;
      break;
    case State::ReadOut:
      if (outBit_ == 0) {
        // Sequential read: the next item follows without a dummy bit.
        address_ = (address_ + 1) % items_;
        LoadItem();
      }
      --outBit_;
      do_ = ((outWord_ >> outBit_) & 1) != 0;
      break;
    case State::Complete:
    case State::Done:
      break;
  }
  return DataOut();
}

bool MicrowireEeprom::DataOut() const {
  if (!selected_) return true;  // high impedance, pulled up
  if (state_ == State::ReadOut) return do_;
  if (state_ == State::Idle && showStatus_) return !Busy();
  return true;
}

void MicrowireEeprom::Decode() {
  const uint32_t opcode = shift_ >> addressBits_;
  const uint32_t address = shift_ & ((1u << addressBits_) - 1);
  address_ = address % items_;
  state_ = State::Done;
  count_ = 0;
  data_ = 0xFFFF;  // an erase's value; WRITE and WRAL shift their data in over it
  switch (opcode) {
    case 2:
      op_ = Op::Read;
      state_ = State::ReadOut;
      LoadItem();
      do_ = false;  // the dummy zero ahead of the data
      break;
    case 1:
      op_ = Op::Write;
      state_ = State::DataIn;
      break;
    case 3:
      op_ = Op::Erase;
      state_ = State::Complete;
      break;
    default:
      switch (address >> (addressBits_ - 2)) {
        case 3: op_ = Op::Ewen; enabled_ = true; break;
        case 0: op_ = Op::Ewds; enabled_ = false; break;
        case 2: op_ = Op::Eral; state_ = State::Complete; break;
        default: op_ = Op::Wral; state_ = State::DataIn; break;
      }
      break;
  }
}

void MicrowireEeprom::LoadItem() {
  const uint32_t at = organisation_ == 8 ? address_ : 2 * address_;
  outWord_ = static_cast<uint16_t>(LoadByte(at) | (organisation_ == 8 ? 0 : LoadByte(at + 1) << 8));
  outBit_ = organisation_;
}

void MicrowireEeprom::StoreItem(uint32_t item, uint16_t value) {
  if (organisation_ == 8) {
    StoreByte(item, static_cast<uint8_t>(value));
    return;
  }
  StoreByte(2 * item, static_cast<uint8_t>(value));
  StoreByte(2 * item + 1, static_cast<uint8_t>(value >> 8));
}

}  // namespace zylsim
