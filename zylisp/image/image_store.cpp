#include "image/image_store.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "image/hex_list.h"

namespace zylisp {

namespace {

// No device holds more; a file looked through without an image is compared
// up to here.
constexpr uint64_t kAnyImageLimit = uint64_t{1} << 24;

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
      limit_(image ? static_cast<uint64_t>(image->Size() > 0 ? image->Size() : 0) : kAnyImageLimit) {}

void TImageStore::Store(uint64_t address, uint8_t value) {
  if (address >= limit_) {
    if (image_) throw EBeyondImage(line_, address);
    return;  // beyond every image: loading stops there anyway
  }
  TPage& page = pages_[address / kPageSize];
  const std::size_t at = address % kPageSize;
  const uint32_t earlier = page.Line[at];
  if (earlier != 0 && earlier != line_ && page.Value[at] != value) {
    throw EOverlappingRecords("lines " + std::to_string(earlier) + " and " +
                              std::to_string(line_) + " both give address " +
                              AddressText(address) + " (" + ByteText(page.Value[at]) +
                              ", then " + ByteText(value) + ")");
  }
  page.Line[at] = static_cast<uint32_t>(line_);
  page.Value[at] = value;
  if (image_) image_->SetValue(static_cast<uint32_t>(address), value);
}

}  // namespace zylisp
