#include "image/image_store.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "image/hex_list.h"

namespace zylisp {

namespace {

// No device holds more; a file looked through without an image is compared
// up to here.
constexpr uint64_t kAnyImageLimit = uint64_t{1} << 26;

std::string ByteText(uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

}  // namespace

std::string AddressText(uint64_t address) {
  char text[24];
  std::snprintf(text, sizeof text, "%04" PRIX64, address);
  return text;
}

EBeyondImage::EBeyondImage(std::size_t line, uint64_t address)
    : EISPException("line " + std::to_string(line) + ": address " + AddressText(address) +
                    " is beyond the image"),
      line_(line),
      address_(address) {}

TImageStore::TImageStore(THexList* image)
    : image_(image),
      limit_(image ? static_cast<uint64_t>(image->Size() > 0 ? image->Size() : 0) : kAnyImageLimit),
      pages_((limit_ + kPageSize - 1) / kPageSize) {}

TImageStore::~TImageStore() = default;

void TImageStore::SetLine(std::size_t line) {
  EndLineRange();
  line_ = line;
}

void TImageStore::EndLineRange() {
  if (lo_ > hi_) return;
  const auto address = static_cast<uint32_t>(lo_);
  const auto length = static_cast<uint32_t>(hi_ - lo_ + 1);
  const auto line = static_cast<uint32_t>(line_);
  lo_ = 1;
  hi_ = 0;
  if (!runs_.empty()) {
    TRun& run = runs_.back();
    if (run.Length == length && run.First + run.Count == line &&
        uint64_t{run.Address} + uint64_t{run.Count} * length == address) {
      ++run.Count;
      return;
    }
  }
  runs_.push_back({address, line, 1, length});
}

std::size_t TImageStore::EarlierLine(uint64_t address) const {
  for (auto run = runs_.rbegin(); run != runs_.rend(); ++run) {
    if (address < run->Address) continue;
    const uint64_t offset = address - run->Address;
    if (offset < uint64_t{run->Count} * run->Length) return run->First + offset / run->Length;
  }
  return 0;
}

void TImageStore::Overlap(uint64_t address, uint8_t before, uint8_t value) const {
  throw EOverlappingRecords("lines " + std::to_string(EarlierLine(address)) + " and " +
                            std::to_string(line_) + " both give address " +
                            AddressText(address) + " (" + ByteText(before) + ", then " +
                            ByteText(value) + ")");
}

void TImageStore::Store(uint64_t address, uint8_t value) {
  if (address >= limit_) {
    if (image_) throw EBeyondImage(line_, address);
    return;  // beyond every image: loading stops there anyway
  }
  std::unique_ptr<TPage>& page = pages_[address >> kPageBits];
  if (!page) {
    page = std::make_unique<TPage>();
    if (!image_) page->Value.resize(kPageSize);
  }
  const std::size_t at = address & (kPageSize - 1);
  uint64_t& word = page->Given[at / 64];
  const uint64_t bit = uint64_t{1} << (at % 64);
  uint8_t* slot = image_ ? image_->Data() + address : &page->Value[at];
  const bool inThisLine = address >= lo_ && address <= hi_;
  if ((word & bit) != 0 && *slot != value && !inThisLine) Overlap(address, *slot, value);
  word |= bit;
  *slot = value;
  // Records give their bytes upwards; a word list line gives its high byte
  // first.
  if (lo_ > hi_) {
    lo_ = hi_ = address;
  } else if (address == hi_ + 1) {
    hi_ = address;
  } else if (address + 1 == lo_) {
    lo_ = address;
  } else if (!inThisLine) {
    EndLineRange();
    lo_ = hi_ = address;
  }
}

}  // namespace zylisp
