#include "zylsim/chip.h"

namespace zylsim {

void Chip::AddStuckBits(uint32_t address, uint8_t mask, uint8_t value) {
  stuck_.push_back({address, mask, static_cast<uint8_t>(value & mask)});
  StoreByte(address, LoadByte(address));
}

uint8_t Chip::WithStuckBits(uint32_t address, uint8_t value) const {
  for (const Stuck& s : stuck_) {
    if (s.address == address) value = static_cast<uint8_t>((value & ~s.mask) | s.value);
  }
  return value;
}

void Chip::StoreByte(uint32_t address, uint8_t value) {
  if (address < memory_.size()) memory_[address] = WithStuckBits(address, value);
}

uint8_t Chip::LoadByte(uint32_t address) const {
  return address < memory_.size() ? WithStuckBits(address, memory_[address]) : 0xFF;
}

void Chip::BeginWriteCycle() { BeginCycle(writeCycleUs_); }

void Chip::BeginCycle(uint64_t us) {
  remainingUs_ = us;
  ++writeCycles_;
  writeCycleTotalUs_ += us;
}

}  // namespace zylsim
