#include "zylsim/chip_i2c.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace zylsim {

namespace {

// Which control bits 3..1 are pins and which address bits, by part size
// (the table in chip_i2c.h).
struct ControlBits {
  std::size_t upTo;
  unsigned pins;
  unsigned blocks;
};
constexpr ControlBits kControlBits[] = {{16, 0, 0},     {256, 7, 0},    {512, 6, 1},
                                        {1024, 4, 3},   {4095, 0, 7},   {65536, 7, 0},
                                        {131072, 6, 1}, {SIZE_MAX, 4, 3}};

}  // namespace

I2CEeprom::I2CEeprom(std::size_t size, int pageSize, Layout layout)
    : Chip(size),
      pageSize_(pageSize < 1 ? 1 : pageSize),
      addressBytes_(size >= 4096 ? 2 : 1),
      blockShift_(size > 65536 ? 16 : 8),
      latch_(static_cast<std::size_t>(pageSize_)),
      latched_(static_cast<std::size_t>(pageSize_)) {
  const ControlBits& bits = *std::find_if(std::begin(kControlBits), std::end(kControlBits),
                                          [&](const ControlBits& b) { return size <= b.upTo; });
  pinMask_ = bits.pins;
  blockMask_ = bits.blocks;
  if (layout == kBlockBitB3) {
    pinMask_ = 3;
    blockMask_ = 4;
    needsA2_ = true;
    pins_ = 4;
  }
  while (blockMask_ && !(blockMask_ >> blockLow_ & 1)) ++blockLow_;
}

bool I2CEeprom::Addressed(uint8_t control) const {
  if (needsA2_ && !(pins_ & 4)) return false;
  return (control & 0xF0) == 0xA0 && ((control >> 1) & pinMask_) == (pins_ & pinMask_);
}

void I2CEeprom::Start() {
  // A (repeated) start abandons a write not yet ended by a stop.
  state_ = Busy() ? State::Ignore : State::Control;
}

void I2CEeprom::Stop() {
  if (state_ == State::Data && anyLatched_) CommitPage();
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
        pending_ = (((value >> 1) & blockMask_) >> blockLow_) << blockShift_;
        addressLeft_ = addressBytes_;
        state_ = State::Address;
      }
      return true;
    }
    case State::Address:
      --addressLeft_;
      pending_ |= uint32_t{value} << (8 * addressLeft_);
      if (addressLeft_ == 0) {
        counter_ = pending_ % Size();
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
  counter_ = (counter_ + 1) % Size();
  if (!ack) state_ = State::Ignore;
  return value;
}

void I2CEeprom::CommitPage() {
  for (uint32_t i = 0; i < static_cast<uint32_t>(pageSize_); ++i) {
    if (latched_[i]) StoreByte(pageBase_ + i, latch_[i]);
  }
  counter_ = (pageBase_ + pageOffset_) % Size();
  BeginWriteCycle();
}

}  // namespace zylsim
