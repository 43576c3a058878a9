// Lines taken one at a time, from a list in memory or from a text file read
// in pieces: checking and reading a file never holds more of it than one
// piece and the current line, however long the file or its lines. Every
// line comes without the spaces and tabs at its ends, so a record with
// blanks around it reads as the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/text_lines.h"

namespace zylisp {

class TDataFile;

class TLineRange {
 public:
  // No record of any format is longer; a longer line is cut to this length
  // (counted from its first character that is not a blank), which keeps it
  // too long for every format.
  static constexpr std::size_t kMaxLineLength = 1024;

  // A list of lines is a range of its own lines. The list must outlive the
  // range.
  TLineRange(const TLines& lines) : list_(&lines) {}  // NOLINT: implicit by design
  // The file's lines as SplitLines gives them (a NUL ends the text), with
  // lines longer than kMaxLineLength cut. The file must outlive the range.
  explicit TLineRange(const TDataFile& file) : file_(&file) {}

  // An input iterator; it is only ever compared with end().
  class Iterator {
   public:
    const std::string& operator*() const { return line_; }
    Iterator& operator++();
    bool operator==(const Iterator& other) const { return AtEnd() == other.AtEnd(); }
    bool operator!=(const Iterator& other) const { return !(*this == other); }

   private:
    friend class TLineRange;
    bool AtEnd() const { return list_ ? index_ >= list_->size() : done_; }
    void TakeListLine();
    // The next character of the file, or -1 at its end or at a NUL; with
    // consume clear the character is only looked at.
    int NextChar(bool consume);
    void ReadFileLine();

    const TLines* list_ = nullptr;
    std::size_t index_ = 0;
    const TDataFile* file_ = nullptr;
    std::vector<char> piece_;
    std::size_t fill_ = 0;
    std::size_t pos_ = 0;
    uint64_t pieceEnd_ = 0;  // file offset after the piece
    bool textEnded_ = false;
    std::string line_;
    bool done_ = true;
  };

  // Every pass starts again at the first line.
  Iterator begin() const;
  Iterator end() const { return Iterator(); }

 private:
  const TLines* list_ = nullptr;
  const TDataFile* file_ = nullptr;
};

}  // namespace zylisp
