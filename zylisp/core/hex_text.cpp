#include "core/hex_text.h"

namespace zylisp {

uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return 0;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

namespace {
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
}  // namespace

uint8_t HexByte(const std::string& text) {
  if (text.size() < 2 || !IsHexDigit(text[0]) || !IsHexDigit(text[1])) return 0;
  return static_cast<uint8_t>(HexDigitValue(Upper(text[0])) * 16 + HexDigitValue(Upper(text[1])));
}

std::string HexDigits(uint32_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return out;
}

}  // namespace zylisp
