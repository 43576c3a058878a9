#include "zylsim/chip_dataflash.h"

#include <algorithm>
#include <iterator>

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
constexpr uint8_t kKnown[] = {kStatusRead,   kPageRead,          kArrayRead,    kArrayReadSlow,
                              kBufferWrite,  kBufferToPageErase, kBufferToPage, kPageThroughBuffer,
                              kPageToBuffer, kPageCompare,       kPageErase,    kBlockErase};
constexpr uint32_t kPagesPerBlock = 8;
}  // namespace

At45DataFlash::At45DataFlash(int pageSize, int pageCount, int pageAddressShift,
                             uint8_t densityCode)
    : SpiChip(static_cast<std::size_t>(pageSize) * static_cast<std::size_t>(pageCount)),
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
  const auto pageSize = static_cast<uint32_t>(pageSize_);
  if (!haveOpcode_) {
    haveOpcode_ = true;
    opcode_ = out;
    address_ = 0;
    addressLeft_ = 3;
    dummyLeft_ = 0;
    if (out == kStatusRead) addressLeft_ = 0;
    if (out == kPageRead || out == kArrayRead) dummyLeft_ = 4;
    // A running program or erase leaves only the status read working.
    ignore_ = std::find(std::begin(kKnown), std::end(kKnown), out) == std::end(kKnown) ||
              (Busy() && out != kStatusRead);
    return 0xFF;
  }
  if (ignore_) return 0xFF;
  if (opcode_ == kStatusRead) return StatusRegister();
  if (addressLeft_ > 0) {
    --addressLeft_;
    address_ |= uint32_t{out} << (8 * addressLeft_);
    if (addressLeft_ == 0) {
      cursor_ = (address_ & ((1u << shift_) - 1)) % pageSize;
      if (opcode_ == kArrayRead || opcode_ == kArrayReadSlow) cursor_ += Page() * pageSize;
    }
    return 0xFF;
  }
  if (dummyLeft_ > 0) {
    --dummyLeft_;
    return 0xFF;
  }
  switch (opcode_) {
    case kPageRead:
    case kArrayRead:
    case kArrayReadSlow: {
      // A page read wraps inside its page, an array read at the end of the array.
      const bool inPage = opcode_ == kPageRead;
      const uint8_t value = LoadByte(inPage ? Page() * pageSize + cursor_ : cursor_);
      cursor_ = (cursor_ + 1) % (inPage ? pageSize : Size());
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
  const uint32_t base = Page() * static_cast<uint32_t>(pageSize_);
  switch (opcode_) {
    case kBufferToPageErase:
    case kPageThroughBuffer:
    case kBufferToPage:
      for (uint32_t i = 0; i < buffer_.size(); ++i) {
        // Programming alone can only clear bits; the erase sets them first.
        const uint8_t old = opcode_ == kBufferToPage ? LoadByte(base + i) : 0xFF;
        StoreByte(base + i, static_cast<uint8_t>(old & buffer_[i]));
      }
      break;
    case kPageErase:
      ErasePages(Page(), 1);
      break;
    case kBlockErase:
      ErasePages(Page() - Page() % kPagesPerBlock, kPagesPerBlock);
      break;
    case kPageToBuffer:
      for (uint32_t i = 0; i < buffer_.size(); ++i) buffer_[i] = LoadByte(base + i);
      return;
    case kPageCompare:
      compareMismatch_ = false;
      for (uint32_t i = 0; i < buffer_.size(); ++i) {
        if (buffer_[i] != LoadByte(base + i)) compareMismatch_ = true;
      }
      return;
    default:
      return;
  }
  BeginWriteCycle();
}

void At45DataFlash::ErasePages(uint32_t first, uint32_t count) {
  const auto pageSize = static_cast<uint32_t>(pageSize_);
  for (uint32_t a = first * pageSize; a < (first + count) * pageSize; ++a) StoreByte(a, 0xFF);
}

}  // namespace zylsim
