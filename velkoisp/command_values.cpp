#include "command_values.h"

#include <cctype>

namespace velkoisp {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

}  // namespace

std::string PadByteValue(const std::string& value) {
  return value.size() == 1 ? "0" + value : value;
}

std::optional<uint8_t> ByteValue(const std::string& value) {
  const std::string padded = PadByteValue(value);
  if (padded.size() != 2 || DigitValue(padded[0]) < 0 || DigitValue(padded[1]) < 0) return {};
  return static_cast<uint8_t>(DigitValue(padded[0]) * 16 + DigitValue(padded[1]));
}

std::optional<int64_t> WholeNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  // Decimal within int32; hexadecimal up to 32 bits (FFFFFFFF is -1).
  const int64_t limit = base == 16 ? 0xFFFFFFFFLL : (negative ? 2147483648LL : 2147483647LL);
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i]);
    if (digit < 0 || digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return negative ? -value : value;
}

}  // namespace velkoisp
