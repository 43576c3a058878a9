#include "image/text_lines.h"

#include "core/hex_text.h"

namespace zylisp {

TLines SplitLines(const std::string& text) {
  TLines lines;
  std::size_t end = text.find('\0');
  if (end == std::string::npos) end = text.size();
  std::size_t start = 0;
  while (start < end) {
    std::size_t stop = start;
    while (stop < end && text[stop] != '\r' && text[stop] != '\n') ++stop;
    lines.emplace_back(text, start, stop - start);
    if (stop < end) {
      const bool crlf = text[stop] == '\r' && stop + 1 < end && text[stop + 1] == '\n';
      stop += crlf ? 2 : 1;
    }
    start = stop;
  }
  return lines;
}

std::string JoinLines(const TLines& lines) {
  std::size_t total = 0;
  for (const std::string& line : lines) total += line.size() + 2;
  std::string out;
  out.reserve(total);
  for (const std::string& line : lines) {
    out += line;
    out += "\r\n";
  }
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
