// Text lines as the file formats read and write them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/text_case.h"

namespace zylisp {

using TLines = std::vector<std::string>;

// Every line, the last included, followed by CR LF.
std::string JoinLines(const TLines& lines);

// Appends value as digits upper-case hex digits, leading zeros included.
inline void AppendHex(std::string& out, uint32_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) out += kDigits[(value >> (4 * i)) & 0xF];
}

// Every character is a hex digit (either case); true for the empty text.
bool AllHexDigits(const std::string& text, std::size_t from = 0);

// Byte of the two characters at pos of an upper-cased text: 16 times the
// value of the first plus the value of the second, a non-digit counting as 0
// and a position past the end as '0'.
inline uint8_t HexPairAt(const std::string& text, std::size_t pos) {
  // The value of each character that is an upper-case hex digit, else 0.
  struct TTable {
    uint8_t Value[256] = {};
    TTable() {
      for (int c = 0; c < 10; ++c) Value['0' + c] = static_cast<uint8_t>(c);
      for (int c = 0; c < 6; ++c) Value['A' + c] = static_cast<uint8_t>(10 + c);
    }
  };
  static const TTable table;
  const auto high = static_cast<unsigned char>(pos < text.size() ? text[pos] : '0');
  const auto low = static_cast<unsigned char>(pos + 1 < text.size() ? text[pos + 1] : '0');
  return static_cast<uint8_t>(table.Value[high] * 16 + table.Value[low]);
}

}  // namespace zylisp
