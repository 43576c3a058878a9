// What a look through a data file finds (see text_pass.h): whether it is
// text at all, which format family its records claim, the first line that
// breaks that family's rules, and whether any record carries data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/format_family.h"

namespace zylisp {

// Text, or a NUL or any byte but printable ASCII, tab, CR and LF (binary),
// or longer than a limit.
enum class TTextCheck { kEmpty, kText, kBinary, kTooLong };

// What a scan holds the lines to besides the form of each record.
struct TScanRules {
  bool Checksums = false;  // every record's checksum is right
  // Count records agree with the data records before them, and a family
  // that ends with an end record has one.
  bool Counts = false;
};

struct TTextVerdict {
  // The family of the first line that is a record of one; nullptr when no
  // line is a record of any family.
  const TFormatFamily* Family = nullptr;
  // The family's format the records before the end (or the broken line)
  // need; 0 without a family.
  int32_t Format = kUnknownFormat;
  // Why the lines break the family's rules, empty when they do not; and the
  // number (from 1) of the line that does, 0 when no single line does.
  std::string Problem;
  std::size_t DamagedLine = 0;
  bool HoldsData = false;  // a record stores at least one byte

  bool Damaged() const { return !Problem.empty(); }
};

// "<fileName> line <n>: <problem>" for a verdict with a broken line,
// "<fileName>: <problem>" for one without ("line <n>: <problem>" and the
// bare problem without a file name).
std::string DamagedLineDetail(const std::string& fileName, const TTextVerdict& verdict);

}  // namespace zylisp
