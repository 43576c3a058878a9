#include "image/text_scan.h"

#include <algorithm>
#include <vector>

#include "image/file_access.h"
#include "image/format_registry.h"
#include "image/line_range.h"

namespace zylisp {

namespace {

bool IsTextByte(unsigned char c) {
  return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n';
}

// The family whose record comes first, looked for line by line.
const TFormatFamily* ClaimingFamily(const TLineRange& lines) {
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    for (const TFormatFamily& family : FormatFamilies()) {
      if (family.CheckLine(line).Record) return &family;
    }
  }
  return nullptr;
}

}  // namespace

TTextCheck CheckText(const TDataFile& file, uint64_t limit) {
  if (file.Length() > limit) return TTextCheck::kTooLong;
  std::vector<char> piece(64 * 1024);
  uint64_t length = ByteOrderMarkLength(file);
  for (;;) {
    const std::size_t n = file.ReadAt(length, piece.data(), piece.size());
    if (n == 0) break;
    const auto text = [](char c) { return IsTextByte(static_cast<unsigned char>(c)); };
    if (!std::all_of(piece.data(), piece.data() + n, text)) return TTextCheck::kBinary;
    length += n;
    if (length > limit) return TTextCheck::kTooLong;
  }
  return length == 0 ? TTextCheck::kEmpty : TTextCheck::kText;
}

TTextVerdict ScanLines(const TLineRange& lines) {
  TTextVerdict verdict;
  verdict.Family = ClaimingFamily(lines);
  if (!verdict.Family) return verdict;
  std::size_t number = 0;
  for (const std::string& line : lines) {
    ++number;
    if (line.empty()) continue;
    TLineCheck check = verdict.Family->CheckLine(line);
    if (!check.Problem.empty()) {
      verdict.DamagedLine = number;
      verdict.Problem = std::move(check.Problem);
      break;
    }
    verdict.Format = std::max(verdict.Format, check.Format);
    verdict.HoldsData = verdict.HoldsData || check.HoldsData;
    if (check.EndsData) break;
  }
  if (verdict.Format == kUnknownFormat) verdict.Format = verdict.Family->FirstFormat;
  return verdict;
}

std::string DamagedLineDetail(const std::string& fileName, const TTextVerdict& verdict) {
  const std::string where = "line " + std::to_string(verdict.DamagedLine) + ": " + verdict.Problem;
  return fileName.empty() ? where : fileName + " " + where;
}

}  // namespace zylisp
