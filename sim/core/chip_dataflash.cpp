#include "zylsim/chip_dataflash.h"

namespace zylsim {

namespace {
constexpr uint8_t kStatusRead = 0xD7;
constexpr uint8_t kPageRead = 0xD2;
constexpr uint8_t kArrayRead = 0xE8;
constexpr uint8_t kArrayReadSlow = 0x03;
constexpr uint8_t kBufferWrite = 0x84;
constexpr uint8_t kBufferToPageErase = 0x83;
constexpr uint8_t kBufferToPage = 0x88;
constexpr uint8_t kPageThroughBuffer = 0x82;
constexpr uint8_t kPageToBuffer = 0x53;
constexpr uint8_t kPageCompare = 0x60;
constexpr uint8_t kPageErase = 0x81;
constexpr uint8_t kBlockErase = 0x50;
constexpr uint32_t kPagesPerBlock = 8;
}  // namespace

At45DataFlash::At45DataFlash(int pageSize, int pageCount, int pageAddressShift,
                             uint8_t densityCode)
    : DataFlashChip(static_cast<std::size_t>(pageSize) * static_cast<std::size_t>(pageCount)),
      pageSize_(pageSize),
      pageCount_(pageCount),
      shift_(pageAddressShift),
      density_(static_cast<uint8_t>(densityCode & 0x0F)),
      buffer_(static_cast<std::size_t>(pageSize), 0xFF) {}

uint8_t At45DataFlash::StatusRegister() const {
  return static_cast<uint8_t>((Busy() ? 0 : 0x80) | (compareMismatch_ ? 0x40 : 0) |
                              (density_ << 2));
}

uint32_t At45DataFlash::Page() const {
  return (address_ >> shift_) % static_cast<uint32_t>(pageCount_);
}

uint32_t At45DataFlash::Offset() const {
  return (address_ & ((1u << shift_) - 1)) % static_cast<uint32_t>(pageSize_);
}

void At45DataFlash::Select() {
  selected_ = true;
  haveOpcode_ = false;
  ignore_ = false;
}

void At45DataFlash::Deselect() {
  if (!selected_) return;
  selected_ = false;
  // Program, erase, transfer and compare start when CS rises.
  if (haveOpcode_ && !ignore_ && addressLeft_ == 0) Execute();
  haveOpcode_ = false;
}

uint8_t At45DataFlash::Transfer(uint8_t out) {
  if (!selected_) return 0xFF;
  if (!haveOpcode_) {
    haveOpcode_ = true;
    opcode_ = out;
    address_ = 0;
    addressLeft_ = 3;
    dummyLeft_ = 0;
    switch (out) {
      case kStatusRead:
        addressLeft_ = 0;
        break;
      case kPageRead:
      case kArrayRead:
        dummyLeft_ = 4;
        break;
      case kArrayReadSlow:
      case kBufferWrite:
      case kBufferToPageErase:
      case kBufferToPage:
      case kPageThroughBuffer:
      case kPageToBuffer:
      case kPageCompare:
      case kPageErase:
      case kBlockErase:
        break;
      default:
        ignore_ = true;
        break;
    }
    // A running program or erase leaves only the status read working.
    if (Busy() && out != kStatusRead) ignore_ = true;
    return 0xFF;
  }
  if (ignore_) return 0xFF;
  if (opcode_ == kStatusRead) return StatusRegister();
  if (addressLeft_ > 0) {
    --addressLeft_;
    address_ |= uint32_t{out} << (8 * addressLeft_);
    if (addressLeft_ == 0) {
      cursor_ = Offset();
      if (opcode_ == kArrayRead || opcode_ == kArrayReadSlow) {
        cursor_ += Page() * static_cast<uint32_t>(pageSize_);
      }
    }
    return 0xFF;
  }
  if (dummyLeft_ > 0) {
    --dummyLeft_;
    return 0xFF;
  }
  const auto pageSize = static_cast<uint32_t>(pageSize_);
  switch (opcode_) {
    case kPageRead: {
      const uint8_t value = LoadByte(Page() * pageSize + cursor_);
      cursor_ = (cursor_ + 1) % pageSize;
      return value;
    }
    case kArrayRead:
    case kArrayReadSlow: {
      const uint8_t value = LoadByte(cursor_);
      cursor_ = (cursor_ + 1) % static_cast<uint32_t>(Memory().size());
      return value;
    }
    case kBufferWrite:
    case kPageThroughBuffer:
      buffer_[cursor_] = out;
      cursor_ = (cursor_ + 1) % pageSize;
      return 0xFF;
    default:
      return 0xFF;
  }
}

void At45DataFlash::Execute() {
  switch (opcode_) {
    case kBufferToPageErase:
    case kPageThroughBuffer:
      ProgramPage(Page(), true);
      BeginWriteCycle();
      break;
    case kBufferToPage:
      ProgramPage(Page(), false);
      BeginWriteCycle();
      break;
    case kPageErase:
      ErasePage(Page());
      BeginWriteCycle();
      break;
    case kBlockErase: {
      const uint32_t first = Page() - Page() % kPagesPerBlock;
      for (uint32_t p = first; p < first + kPagesPerBlock; ++p) ErasePage(p);
      BeginWriteCycle();
      break;
    }
    case kPageToBuffer: {
      const uint32_t base = Page() * static_cast<uint32_t>(pageSize_);
      for (uint32_t i = 0; i < buffer_.size(); ++i) buffer_[i] = LoadByte(base + i);
      break;
    }
    case kPageCompare: {
      const uint32_t base = Page() * static_cast<uint32_t>(pageSize_);
      compareMismatch_ = false;
      for (uint32_t i = 0; i < buffer_.size(); ++i) {
        if (buffer_[i] != LoadByte(base + i)) compareMismatch_ = true;
      }
      break;
    }
    default:
      break;
  }
}

void At45DataFlash::ProgramPage(uint32_t page, bool erase) {
  const uint32_t base = page * static_cast<uint32_t>(pageSize_);
  for (uint32_t i = 0; i < buffer_.size(); ++i) {
    // Programming alone can only clear bits; the erase sets them first.
    const uint8_t old = erase ? 0xFF : LoadByte(base + i);
    StoreByte(base + i, static_cast<uint8_t>(old & buffer_[i]));
  }
}

void At45DataFlash::ErasePage(uint32_t page) {
  const uint32_t base = page * static_cast<uint32_t>(pageSize_);
  for (uint32_t i = 0; i < static_cast<uint32_t>(pageSize_); ++i) StoreByte(base + i, 0xFF);
}

}  // namespace zylsim
