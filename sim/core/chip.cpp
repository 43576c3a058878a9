#include "zylsim/chip.h"

namespace zylsim {

void Chip::Advance(uint64_t microseconds) {
  remainingUs_ = microseconds >= remainingUs_ ? 0 : remainingUs_ - microseconds;
}

void Chip::AddStuckBits(uint32_t address, uint8_t mask, uint8_t value) {
  stuck_.push_back({address, mask, static_cast<uint8_t>(value & mask)});
  if (address < memory_.size()) StoreByte(address, memory_[address]);
}

void Chip::StoreByte(uint32_t address, uint8_t value) {
  if (address >= memory_.size()) return;
  for (const Stuck& s : stuck_) {
    if (s.address == address) value = static_cast<uint8_t>((value & ~s.mask) | s.value);
  }
  memory_[address] = value;
}

uint8_t Chip::LoadByte(uint32_t address) const {
  if (address >= memory_.size()) return 0xFF;
  uint8_t value = memory_[address];
  for (const Stuck& s : stuck_) {
    if (s.address == address) value = static_cast<uint8_t>((value & ~s.mask) | s.value);
  }
  return value;
}

void Chip::BeginWriteCycle() {
  remainingUs_ = writeCycleUs_;
  ++writeCycles_;
  writeCycleTotalUs_ += writeCycleUs_;
}

}  // namespace zylsim
