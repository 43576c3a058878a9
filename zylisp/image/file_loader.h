// Recognising, loading and saving data files for the memory image.
#pragma once

#include <cstdint>
#include <string>

#include "core/errors.h"
#include "image/format_family.h"
#include "image/text_lines.h"

namespace zylisp {

class THexList;

// A text data file with a line that breaks the rules of the format its
// records claim. The message names the file and the line, and why.
class EDamagedFile : public EZylError {
 public:
  using EZylError::EZylError;
};

// How strictly a text data file is read.
struct TLoadOptions {
  // Record checksums are not compared (hand-edited files).
  bool IgnoreChecksums = false;
  // The selected device's name, for messages about addresses beyond it.
  std::string DeviceName;
  // Its size; DataFileProblem then applies the load's own limits too.
  int32_t DeviceSize = 0;
};

class TFileLoader {
 public:
  // The format number of the file's lines: 1..10, 0 for no known text
  // format, -2 for no lines at all. The
  // first line that is a record of a format names it, also when a later
  // line breaks its rules (the file then cannot be loaded). A file holding
  // a NUL or another byte that is not text (printable ASCII, tab, CR, LF),
  // or longer than any text file for a memory chip, is no text format (0).
  // UTF-16 or UTF-32 text behind its byte-order mark is the text it decodes
  // to, when a line of it is a record. Raises EFileError when the file
  // cannot be read.
  static int32_t IdentifyFile(const std::string& fileName);

  // Names and clears the image, then loads the file's lines into it; a file
  // that is no text format loads nothing. 0 success, -1 a record lay outside
  // the image (the bytes before it stay) or the file is far longer than any
  // text for the image (then refused unread, the image left as it was).
  // Raises EFileError when the file cannot be read, and EDamagedFile, the
  // image left as it was, when a line breaks the rules of its format, a
  // record's checksum is wrong (unless options.IgnoreChecksums), a count
  // record miscounts, an Intel HEX file has no end record, two records give
  // one address different bytes, or decoded UTF-16/UTF-32 text holds a
  // character no data file holds. An end record alone loads a blank image.
  // With -1, reason (when given) names the line, the address and the
  // device with its size.
  static int32_t LoadHexFile(const std::string& fileName, THexList& image,
                             const TLoadOptions& options = {}, std::string* reason = nullptr);

  // Raw or ASCII-hex binary from address 0. 0 success, -1 the file is larger
  // than the image (refused unread, nothing loaded; reason, when given, says
  // both sizes). Raises EFileError when it cannot be read. UTF-16 or UTF-32
  // text of records is loaded as LoadHexFile loads it, never as bytes.
  static int32_t LoadBinaryFile(const std::string& fileName, THexList& image,
                                const TLoadOptions& options = {}, std::string* reason = nullptr);

  // The file loaded as LoadHexFile does when it is a text format, else as
  // LoadBinaryFile does, from one reading of the file; replaced, when
  // given, says whether a new image was put in place (a file refused unread
  // or a failure leave the image as it was).
  static int32_t LoadFile(const std::string& fileName, THexList& image,
                          const TLoadOptions& options = {}, std::string* reason = nullptr,
                          bool* replaced = nullptr);

  // True for the format numbers a file can be saved in.
  static bool KnowsFormat(int32_t format);
  // The highest address a file of that format can hold; 0 for a format
  // number no family knows.
  static int64_t HighestAddress(int32_t format);

  // Writes the image in a text format: 0 written, 1 any failure, a format
  // number no family knows among them (an existing file is then left as it
  // was). A failure's reason, when known, goes to reason.
  static int32_t SaveHexFile(const std::string& fileName, const THexList& image, int32_t format,
                             std::string* reason = nullptr);

  // Names the image after the file and writes all its bytes: 0 written,
  // 1 failure (an existing file is then left as it was, the reason in
  // reason).
  static int32_t SaveBinaryFile(const std::string& fileName, THexList& image,
                                std::string* reason = nullptr);
};

// Empty when the file can be programmed or verified from: it loads under
// the options as LoadHexFile or LoadBinaryFile would (its addresses apart,
// which only the image can judge), and is not empty. Otherwise what is
// wrong with it, naming the file; told before any chip is touched.
// With options.DeviceSize, also what loading it for such a device would
// refuse (an address beyond it, a file longer than any for it).
std::string DataFileProblem(const std::string& fileName, const TLoadOptions& options = {});

}  // namespace zylisp
