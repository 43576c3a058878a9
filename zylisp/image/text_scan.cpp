#include "image/text_scan.h"

#include <algorithm>
#include <cstring>
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

std::string Records(int64_t n) { return std::to_string(n) + (n == 1 ? " record" : " records"); }

}  // namespace

TFileText OpenText(const TDataFile& file) {
  char start[4] = {};
  const std::size_t got = file.ReadAt(0, start, sizeof start);
  // UTF-32 LE first: its mark begins with the UTF-16 LE one.
  for (TTextEncoding encoding : {TTextEncoding::kUtf32Le, TTextEncoding::kUtf32Be,
                                 TTextEncoding::kUtf16Le, TTextEncoding::kUtf16Be}) {
    std::size_t length = 0;
    const char* mark = EncodingMark(encoding, &length);
    if (got < length || std::memcmp(start, mark, length) != 0) continue;
    // A binary image may begin with the same bytes; only a record makes it text.
    const TFileText text(file, encoding);
    if (ClaimingFamily(TLineRange(text))) return text;
  }
  return TFileText(file, TTextEncoding::kBytes);
}

TTextCheck CheckText(const TFileText& text, uint64_t limit) {
  if (text.Length() > limit) return TTextCheck::kTooLong;
  std::vector<char> piece(64 * 1024);
  uint64_t length = 0;
  for (;;) {
    const std::size_t n = text.ReadAt(length, piece.data(), piece.size());
    if (n == 0) break;
    const auto isText = [](char c) { return IsTextByte(static_cast<unsigned char>(c)); };
    if (!std::all_of(piece.data(), piece.data() + n, isText)) return TTextCheck::kBinary;
    length += n;
    if (length > limit) return TTextCheck::kTooLong;
  }
  return length == 0 ? TTextCheck::kEmpty : TTextCheck::kText;
}

TTextVerdict ScanLines(const TLineRange& lines, const TScanRules& rules) {
  TTextVerdict verdict;
  verdict.Family = ClaimingFamily(lines);
  if (!verdict.Family) return verdict;
  std::size_t number = 0;
  int64_t dataRecords = 0;
  bool ended = false;
  for (const std::string& line : lines) {
    ++number;
    if (line.empty()) continue;
    TLineCheck check = verdict.Family->CheckLine(line);
    if (check.Problem.empty() && rules.Checksums) check.Problem = std::move(check.ChecksumProblem);
    if (check.Problem.empty() && rules.Counts && check.CountedRecords >= 0 &&
        check.CountedRecords != dataRecords) {
      check.Problem = check.Kind + " counts " + Records(check.CountedRecords) +
                      ", the file holds " + std::to_string(dataRecords);
    }
    if (!check.Problem.empty()) {
      verdict.DamagedLine = number;
      verdict.Problem = std::move(check.Problem);
      break;
    }
    if (check.DataRecord) ++dataRecords;
    verdict.Format = std::max(verdict.Format, check.Format);
    verdict.HoldsData = verdict.HoldsData || check.HoldsData;
    if (check.EndsData) {
      ended = true;
      break;
    }
  }
  if (!verdict.Damaged() && rules.Counts && verdict.Family->NeedsEndRecord && !ended)
    verdict.Problem = "no end record: the file may be cut short";
  if (verdict.Format == kUnknownFormat) verdict.Format = verdict.Family->FirstFormat;
  return verdict;
}

std::string DamagedLineDetail(const std::string& fileName, const TTextVerdict& verdict) {
  if (verdict.DamagedLine == 0) return fileName.empty() ? verdict.Problem : fileName + ": " + verdict.Problem;
  const std::string where = "line " + std::to_string(verdict.DamagedLine) + ": " + verdict.Problem;
  return fileName.empty() ? where : fileName + " " + where;
}

}  // namespace zylisp
