#include "zylsim/chip_i2c.h"

#include <algorithm>

namespace zylsim {

I2CEeprom::I2CEeprom(std::size_t size, int pageSize)
    : I2CChip(size),
      size_(size),
      pageSize_(pageSize < 1 ? 1 : pageSize),
      addressBytes_(size >= 4096 ? 2 : 1),
      pinMask_(0),
      blockMask_(0),
      blockShift_(8),
      latch_(static_cast<std::size_t>(pageSize_)),
      latched_(static_cast<std::size_t>(pageSize_)) {
  if (size <= 16) {
    // 24C00: the three select bits are not decoded.
  } else if (size <= 256) {
    pinMask_ = 7;
  } else if (size <= 512) {
    pinMask_ = 6;
    blockMask_ = 1;
  } else if (size <= 1024) {
    pinMask_ = 4;
    blockMask_ = 3;
  } else if (size < 4096) {
    blockMask_ = 7;
  } else if (size <= 65536) {
    pinMask_ = 7;
  } else {
    pinMask_ = 6;
    blockMask_ = 1;
    blockShift_ = 16;
  }
}

bool I2CEeprom::Addressed(uint8_t control) const {
  if ((control & 0xF0) != 0xA0) return false;
  unsigned select = (control >> 1) & 7u;
  return (select & pinMask_) == (pins_ & pinMask_);
}

void I2CEeprom::Start() {
  // A (repeated) start abandons a write not yet ended by a stop.
  anyLatched_ = false;
  state_ = Busy() ? State::Ignore : State::Control;
}

void I2CEeprom::Stop() {
  if (state_ == State::Data && anyLatched_) CommitPage();
  anyLatched_ = false;
  state_ = State::Idle;
}

bool I2CEeprom::WriteByte(uint8_t value) {
  switch (state_) {
    case State::Control: {
      if (Busy() || !Addressed(value)) {
        state_ = State::Ignore;
        return false;
      }
      if (value & 1) {
        // Current-address read: the counter decides, the block bits do not.
        state_ = State::Read;
      } else {
        pending_ = (((value >> 1) & blockMask_) << blockShift_);
        addressLeft_ = addressBytes_;
        state_ = State::Address;
      }
      return true;
    }
    case State::Address:
      --addressLeft_;
      pending_ |= uint32_t{value} << (8 * addressLeft_);
      if (addressLeft_ == 0) {
        counter_ = pending_ % static_cast<uint32_t>(size_);
        pageBase_ = counter_ - counter_ % static_cast<uint32_t>(pageSize_);
        pageOffset_ = counter_ - pageBase_;
        std::fill(latched_.begin(), latched_.end(), false);
        anyLatched_ = false;
        state_ = State::Data;
      }
      return true;
    case State::Data:
      // The page latch rolls over inside its page; later bytes overwrite.
      latch_[pageOffset_] = value;
      latched_[pageOffset_] = true;
      anyLatched_ = true;
      pageOffset_ = (pageOffset_ + 1) % static_cast<uint32_t>(pageSize_);
      return true;
    case State::Idle:
    case State::Read:
    case State::Ignore:
      break;
  }
  return false;
}

uint8_t I2CEeprom::ReadByte(bool ack) {
  if (state_ != State::Read) return 0xFF;  // bus released: the pull-up reads 1
  uint8_t value = LoadByte(counter_);
  counter_ = (counter_ + 1) % static_cast<uint32_t>(size_);
  if (!ack) state_ = State::Ignore;
  return value;
}

void I2CEeprom::CommitPage() {
  for (uint32_t i = 0; i < static_cast<uint32_t>(pageSize_); ++i) {
    if (latched_[i]) StoreByte(pageBase_ + i, latch_[i]);
  }
  counter_ = (pageBase_ + pageOffset_) % static_cast<uint32_t>(size_);
  BeginWriteCycle();
}

}  // namespace zylsim
