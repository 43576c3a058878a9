// A family of text file formats: its format numbers, its detector, its
// reader and its writer. The families are listed once, in format_registry.
#pragma once

#include <cstdint>

#include "image/line_range.h"
#include "image/text_lines.h"

namespace zylisp {

class THexList;

// Format numbers shared by the loaders, the writers and the exports (where 9
// stands for raw binary instead).
enum TFileFormat : int32_t {
  ffIntelHex = 1,
  ffIntelHexSegment = 2,
  ffIntelHexLinear = 3,
  ffMotorolaS1 = 4,
  ffMotorolaS2 = 5,
  ffMotorolaS3 = 6,
  ffExtendedTektronix = 7,
  ffTektronix = 8,
  ffWordList = 9,
  ffByteList = 10,
};

// Identification answers besides the format numbers.
constexpr int32_t kUnknownFormat = 0;
constexpr int32_t kNoLines = -2;

struct TFormatFamily {
  const char* Name;
  // The format numbers the family reads and writes, inclusive.
  int32_t FirstFormat;
  int32_t LastFormat;
  // A format number of the family, or 0 when a non-empty line breaks its
  // rules or no line is a record of the family. Empty lines are skipped.
  int32_t (*Detect)(const TLineRange& lines);
  // Stores the records' bytes with THexList::SetValue, so an address outside
  // the image raises EISPException. Safe on any lines: fields missing from a
  // line count as zero and nothing outside a record is stored.
  void (*Read)(const TLineRange& lines, THexList& image, int32_t format);
  // Appends the records for the image. Raises EISPException when the image
  // uses an address the format cannot express.
  void (*Write)(TLines& lines, const THexList& image, int32_t format);
};

}  // namespace zylisp
