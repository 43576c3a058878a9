#include "zylsim/chip_spi.h"

#include <algorithm>

namespace zylsim {

namespace {
constexpr uint8_t kWren = 0x06;
constexpr uint8_t kWrdi = 0x04;
constexpr uint8_t kRdsr = 0x05;
constexpr uint8_t kWrsr = 0x01;
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kWrite = 0x02;
constexpr uint8_t kA8 = 0x08;
}  // namespace

SpiEeprom::SpiEeprom(std::size_t size, int pageSize)
    : SpiChip(size),
      pageSize_(pageSize < 1 ? 1 : pageSize),
      addressBytes_(size > 65536 ? 3 : size > 512 ? 2 : 1),
      latch_(static_cast<std::size_t>(pageSize_)),
      latched_(static_cast<std::size_t>(pageSize_)) {}

uint8_t SpiEeprom::StatusRegister() const {
  return static_cast<uint8_t>((Busy() ? 1 : 0) | (wel_ ? 2 : 0) | (bp_ << 2));
}

uint32_t SpiEeprom::ProtectedFrom() const {
  const auto size = Size();
  switch (bp_) {
    case 1: return size - size / 4;
    case 2: return size / 2;
    case 3: return 0;
    default: return size;
  }
}

void SpiEeprom::Select() {
  selected_ = true;
  op_ = Op::None;
  wrsrValueSeen_ = false;
}

void SpiEeprom::Deselect() {
  if (!selected_) return;
  selected_ = false;
  // Instructions that change state take effect when CS rises after them.
  switch (op_) {
    case Op::Wren: wel_ = true; break;
    case Op::Wrdi: wel_ = false; break;
    case Op::Wrsr:
      if (wrsrValueSeen_) {
        bp_ = static_cast<uint8_t>((wrsrValue_ >> 2) & 3);
        wel_ = false;
        BeginWriteCycle();
      }
      break;
    case Op::Write:
      if (addressLeft_ == 0 && anyLatched_) CommitPage();
      break;
    default: break;
  }
  op_ = Op::None;
}

uint8_t SpiEeprom::Transfer(uint8_t out) {
  if (!selected_) return 0xFF;
  if (op_ == Op::None) {
    // While a cycle runs only RDSR is decoded.
    if (Busy() && out != kRdsr) {
      op_ = Op::Ignore;
      return 0xFF;
    }
    const bool shortAddress = addressBytes_ == 1;
    const uint8_t base = shortAddress ? static_cast<uint8_t>(out & ~kA8) : out;
    address_ = shortAddress && (out & kA8) ? 0x100 : 0;
    addressLeft_ = addressBytes_;
    // WRSR and WRITE need the write enable latch set.
    op_ = out == kWren            ? Op::Wren
          : out == kWrdi          ? Op::Wrdi
          : out == kRdsr          ? Op::Rdsr
          : out == kWrsr && wel_  ? Op::Wrsr
          : base == kRead         ? Op::Read
          : base == kWrite && wel_ ? Op::Write
                                  : Op::Ignore;
    return 0xFF;
  }

  switch (op_) {
    case Op::Rdsr:
      return StatusRegister();
    case Op::Wrsr:
      if (!wrsrValueSeen_) {
        wrsrValue_ = out;
        wrsrValueSeen_ = true;
      }
      return 0xFF;
    case Op::Read:
    case Op::Write:
      if (addressLeft_ > 0) {
        --addressLeft_;
        address_ |= uint32_t{out} << (8 * addressLeft_);
        if (addressLeft_ == 0) {
          address_ %= Size();
          pageBase_ = address_ - address_ % static_cast<uint32_t>(pageSize_);
          pageOffset_ = address_ - pageBase_;
          std::fill(latched_.begin(), latched_.end(), false);
          anyLatched_ = false;
        }
        return 0xFF;
      }
      if (op_ == Op::Read) {
        const uint8_t value = LoadByte(address_);
        address_ = (address_ + 1) % Size();
        return value;
      }
      latch_[pageOffset_] = out;
      latched_[pageOffset_] = true;
      anyLatched_ = true;
      pageOffset_ = (pageOffset_ + 1) % static_cast<uint32_t>(pageSize_);
      return 0xFF;
    default:
      return 0xFF;
  }
}

void SpiEeprom::CommitPage() {
  const uint32_t guard = ProtectedFrom();
  bool wrote = false;
  for (uint32_t i = 0; i < static_cast<uint32_t>(pageSize_); ++i) {
    const uint32_t address = pageBase_ + i;
    if (!latched_[i] || address >= guard) continue;
    StoreByte(address, latch_[i]);
    wrote = true;
  }
  wel_ = false;
  // A write that lands wholly in a protected area starts no cycle.
  if (wrote) BeginWriteCycle();
}

}  // namespace zylsim
