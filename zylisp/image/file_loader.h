// Recognising, loading and saving data files for the memory image.
#pragma once

#include <cstdint>
#include <string>

#include "image/format_family.h"
#include "image/text_lines.h"

namespace zylisp {

class THexList;

class TFileLoader {
 public:
  // The format number of the lines (or, without lines, of the named file's
  // lines): 1..10, 0 for no known text format, -2 for no lines at all. A
  // file holding a NUL byte, or longer than any text file for a memory chip,
  // is no text format (0). Raises EFileError when the file cannot be read.
  static int32_t IdentifyFile(const std::string& fileName, const TLines* lines = nullptr);

  // Names and clears the image, then loads the file's lines into it; a file
  // that is no text format loads nothing. 0 success, -1 a record lay outside
  // the image (the bytes before it stay) or the file is far longer than any
  // text for the image (then refused unread, the image left as it was).
  // Raises EFileError when the file cannot be read.
  static int32_t LoadHexFile(const std::string& fileName, THexList& image);

  // Clears the image, identifies the lines and runs their reader; an unknown
  // format loads nothing. 0 success, -1 a record lay outside the image.
  static int32_t LoadFromLines(THexList& image, const TLines& lines);

  // Raw or ASCII-hex binary from address 0. 0 success, -1 the file is larger
  // than the image (refused unread, nothing loaded). Raises EFileError when
  // it cannot be read.
  static int32_t LoadBinaryFile(const std::string& fileName, THexList& image);

  // True for the format numbers a file can be saved in.
  static bool KnowsFormat(int32_t format);

  // Writes the image in a text format: 0 written, 1 any failure, a format
  // number no family knows among them (an existing file is then left as it
  // was).
  static int32_t SaveHexFile(const std::string& fileName, const THexList& image, int32_t format);

  // Names the image after the file and writes all its bytes: 0 written,
  // 1 failure (an existing file is then left as it was).
  static int32_t SaveBinaryFile(const std::string& fileName, THexList& image);
};

}  // namespace zylisp
