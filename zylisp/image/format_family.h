// A family of text file formats: its format numbers, its line check, its
// reader and its writer. The families are listed once, in format_registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "image/line_range.h"
#include "image/text_lines.h"

namespace zylisp {

class TImageStore;

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

// What one line, blanks trimmed and not empty, is to a family.
struct TLineCheck {
  // Why the line breaks the family's rules, in a few words; empty when it
  // does not.
  std::string Problem;
  // A well-formed record. A line the family passes over unread (a symbol
  // block) is neither a record nor a problem.
  bool Record = false;
  // The least format number of the family the record needs; 0 when it
  // tells nothing about that.
  int32_t Format = 0;
  bool HoldsData = false;  // it stores at least one byte
  bool EndsData = false;   // the end record: no later line is read
  // Why the record's checksum is not the one its digits give ("checksum
  // 4F, expected 4E"); empty when it is, or the record carries none. The
  // line is a record all the same.
  std::string ChecksumProblem;
  // A data record, as count records count them.
  bool DataRecord = false;
  // A count record: the number of data records it says came before it, and
  // its kind as the format names it ("S5"); -1 for any other line.
  int64_t CountedRecords = -1;
  std::string Kind;
};

// A line that breaks a family's rules for the given reason.
TLineCheck BrokenLine(std::string problem);
// A record of the family needing format (0: any of the family's formats).
TLineCheck RecordLine(int32_t format, bool holdsData = false, bool endsData = false);

// Why a record of digits hex digits, whose count field asks for expected
// digits, is not that long; empty when it is.
std::string LengthProblem(std::size_t digits, std::size_t expected);
// Why text from position from on is not all hex digits; empty when it is.
std::string HexDigitProblem(const std::string& text, std::size_t from = 0);
// "checksum 4F, expected 4E" (what names the checksum), or empty when the
// two agree.
std::string ChecksumProblem(unsigned found, unsigned expected, const char* what = "checksum");

class THexList;

// Takes the next piece of a writer's text.
using TTextSink = std::function<void(const char* data, std::size_t size)>;

// Where a writer's records go: they gather in Text, and Pass hands them on
// a piece of some 64 KiB at a time, so a file's text is never held whole.
class TTextOut {
 public:
  static constexpr std::size_t kPiece = 64 << 10;

  explicit TTextOut(TTextSink sink) : sink_(std::move(sink)) { Text.reserve(kPiece + 256); }
  // The records not handed on yet: a writer appends its records here.
  std::string Text;
  // After each record: hands the text on once it fills a piece.
  void Pass() {
    if (Text.size() >= kPiece) Hand();
  }
  // Hands on the rest.
  void Finish() {
    if (!Text.empty()) Hand();
  }

 private:
  void Hand() {
    sink_(Text.data(), Text.size());
    Text.clear();
  }
  TTextSink sink_;
};

// What a reader carries from one line to the next.
struct TReadState {
  int32_t Format = 0;     // the format the file is read as
  uint64_t Segment = 0;   // Intel HEX extended segment address
  uint64_t Upper = 0;     // Intel HEX extended linear address
};

struct TFormatFamily {
  const char* Name;
  // The format numbers the family reads and writes, inclusive.
  int32_t FirstFormat;
  int32_t LastFormat;
  // What one line is to the family. A file belongs to the family of its
  // first record line; then each of its lines up to the end record must
  // be a record of the family or a line it passes over.
  TLineCheck (*CheckLine)(const std::string& line);
  // Stores the bytes of one line that is not empty through the store, which
  // the caller has told of the line, so an address outside the image
  // raises EBeyondImage and a second byte for one address
  // EOverlappingRecords. False for the line that ends the data: no later
  // line is read. Safe on any line: fields missing from it count as zero
  // and nothing outside a record is stored.
  bool (*ReadLine)(const std::string& line, TImageStore& image, TReadState& state);
  // Writes the records for the image to out, each line followed by CR LF,
  // passing them on record by record. Raises EISPException, before any
  // record, when the image uses an address the format cannot express.
  void (*Write)(TTextOut& out, const THexList& image, int32_t format);
  // A file of the family is cut short unless it ends with an end record.
  bool NeedsEndRecord;
};

// Reads every line of the range as the format into the store, telling it
// of each line, up to the line that ends the data.
void ReadFamilyLines(const TFormatFamily& family, const TLineRange& lines, TImageStore& image,
                     int32_t format);
// The text of the records for the image, handed to sink a piece at a time.
void WriteFamilyText(const TFormatFamily& family, const THexList& image, int32_t format,
                     const TTextSink& sink);
// The lines Write makes, without their line breaks.
TLines WrittenLines(const TFormatFamily& family, const THexList& image, int32_t format);

}  // namespace zylisp
