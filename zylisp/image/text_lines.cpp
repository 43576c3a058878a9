#include "image/text_lines.h"

#include <algorithm>

#include "core/hex_text.h"

namespace zylisp {

std::string JoinLines(const TLines& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

bool AllHexDigits(const std::string& text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (!IsHexDigit(text[i])) return false;
  }
  return true;
}

uint8_t HexPairAt(const std::string& text, std::size_t pos) {
  const char high = pos < text.size() ? text[pos] : '0';
  const char low = pos + 1 < text.size() ? text[pos + 1] : '0';
  return static_cast<uint8_t>(HexDigitValue(high) * 16 + HexDigitValue(low));
}

}  // namespace zylisp
