#include "zylsim/chip.h"

namespace zylsim {

void Chip::AddStuckBits(uint32_t address, uint8_t mask, uint8_t value) {
  stuck_.push_back({address, mask, static_cast<uint8_t>(value & mask)});
}

void Chip::StoreByte(uint32_t address, uint8_t value) {
  if (address >= memory_.size()) return;
  for (const Stuck& s : stuck_) {
    if (s.address == address) value = static_cast<uint8_t>((value & ~s.mask) | s.value);
  }
  memory_[address] = value;
}

}  // namespace zylsim
