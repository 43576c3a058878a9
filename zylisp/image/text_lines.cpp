#include "image/text_lines.h"

#include <algorithm>

#include "core/hex_text.h"

namespace zylisp {

TLines SplitLines(const std::string& text) {
  TLines lines;
  const std::size_t end = std::min(text.find('\0'), text.size());
  for (std::size_t start = 0; start < end;) {
    const std::size_t stop = std::min(text.find_first_of("\r\n", start), end);
    lines.emplace_back(text, start, stop - start);
    const bool crlf = stop + 1 < end && text[stop] == '\r' && text[stop + 1] == '\n';
    start = stop + (crlf ? 2 : 1);
  }
  return lines;
}

std::string JoinLines(const TLines& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

std::string TrimBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
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
