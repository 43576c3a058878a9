#include "image/file_text.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image/file_access.h"

namespace zylisp {

namespace {

constexpr unsigned char kNoTextCharacter = 0x80;
constexpr uint64_t kDecodedLimit = kMaxTextFileBytes + 1;

bool IsTextCode(uint32_t c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n'; }

unsigned UnitBytes(TTextEncoding encoding) {
  switch (encoding) {
    case TTextEncoding::kUtf16Le:
    case TTextEncoding::kUtf16Be: return 2;
    case TTextEncoding::kUtf32Le:
    case TTextEncoding::kUtf32Be: return 4;
    default: return 1;
  }
}

bool BigEndian(TTextEncoding encoding) {
  return encoding == TTextEncoding::kUtf16Be || encoding == TTextEncoding::kUtf32Be;
}

}  // namespace

const char* EncodingMark(TTextEncoding encoding, std::size_t* length) {
  const auto mark = [&](const char* bytes, std::size_t n) {
    *length = n;
    return bytes;
  };
  switch (encoding) {
    case TTextEncoding::kUtf16Le: return mark("\xFF\xFE", 2);
    case TTextEncoding::kUtf16Be: return mark("\xFE\xFF", 2);
    case TTextEncoding::kUtf32Le: return mark("\xFF\xFE\x00\x00", 4);
    case TTextEncoding::kUtf32Be: return mark("\x00\x00\xFE\xFF", 4);
    default: return mark("", 0);
  }
}

const char* EncodingName(TTextEncoding encoding) {
  const unsigned unit = UnitBytes(encoding);
  return unit == 2 ? "UTF-16" : unit == 4 ? "UTF-32" : "ASCII";
}

TFileText::TFileText(const TDataFile& file, TTextEncoding encoding)
    : file_(&file), encoding_(encoding), unit_(UnitBytes(encoding)) {
  if (Decoded()) {
    std::size_t length = 0;
    EncodingMark(encoding, &length);
    start_ = length;
  } else {
    // Some editors start UTF-8 text with a mark; it is no part of the first line.
    char start[3] = {};
    if (file.ReadAt(0, start, 3) == 3 && std::memcmp(start, "\xEF\xBB\xBF", 3) == 0) start_ = 3;
  }
}

uint64_t TFileText::Length() const {
  const uint64_t bytes = file_->Length() > start_ ? file_->Length() - start_ : 0;
  return (bytes + unit_ - 1) / unit_;
}

std::size_t TFileText::ReadAt(uint64_t offset, char* buffer, std::size_t n) const {
  if (!Decoded()) return file_->ReadAt(start_ + offset, buffer, n);
  if (offset >= kDecodedLimit) return 0;
  n = static_cast<std::size_t>(std::min<uint64_t>(n, kDecodedLimit - offset));
  std::vector<unsigned char> units(n * unit_);
  const std::size_t got = file_->ReadAt(start_ + offset * unit_,
                                        reinterpret_cast<char*>(units.data()), units.size());
  // A last partial code unit is a character that decodes to nothing.
  const std::size_t count = (got + unit_ - 1) / unit_;
  const bool big = BigEndian(encoding_);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* unit = units.data() + i * unit_;
    uint32_t code = 0;
    if ((i + 1) * unit_ > got) {
      code = 0xFFFFFFFF;
    } else {
      for (unsigned b = 0; b < unit_; ++b) code = code << 8 | unit[big ? b : unit_ - 1 - b];
    }
    buffer[i] = static_cast<char>(IsTextCode(code) ? code : kNoTextCharacter);
  }
  return count;
}

}  // namespace zylisp
