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

}  // namespace zylisp
