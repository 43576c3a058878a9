// Looking a data file through before it loads: whether it is text at all,
// which format family its records claim, the first line that breaks that
// family's rules, and whether any record carries data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/format_family.h"

namespace zylisp {

class TDataFile;

enum class TTextCheck { kEmpty, kText, kBinary, kTooLong };

// Longest file taken as text at all. The largest chips hold 128 KiB; even
// at one byte per record with an address record before each, some 32
// characters per byte, a text file for them stays near 4 MiB.
constexpr uint64_t kMaxTextFileBytes = uint64_t{16} << 20;

// Looks the file through once: a NUL, or any byte but printable ASCII, tab,
// CR and LF, makes it binary; a file longer than limit is not read past
// limit (nor at all when its length says so).
TTextCheck CheckText(const TDataFile& file, uint64_t limit);

struct TTextVerdict {
  // The family of the first line that is a record of one; nullptr when no
  // line is a record of any family.
  const TFormatFamily* Family = nullptr;
  // The family's format the records before the end (or the broken line)
  // need; 0 without a family.
  int32_t Format = kUnknownFormat;
  // Number (from 1) of the first line that breaks the family's rules, and
  // why; 0 when none does.
  std::size_t DamagedLine = 0;
  std::string Problem;
  bool HoldsData = false;  // a record stores at least one byte
};

TTextVerdict ScanLines(const TLineRange& lines);

// "<fileName> line <n>: <problem>" for a verdict with a broken line
// ("line <n>: <problem>" without a file name).
std::string DamagedLineDetail(const std::string& fileName, const TTextVerdict& verdict);

}  // namespace zylisp
