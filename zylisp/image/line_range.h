// The lines of a text file, taken one at a time as the file is read in
// pieces: checking and reading a file never holds more of it than one piece
// and the current line, however long the file or its lines. Every
// line comes without the spaces and tabs at its ends, so a record with
// blanks around it reads as the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/text_lines.h"

namespace zylisp {

class TFileText;

class TLineRange {
 public:
  // No record of any format is longer; a longer line is cut to this length
  // (counted from its first character that is not a blank), which keeps it
  // too long for every format.
  static constexpr std::size_t kMaxLineLength = 1024;

  // Lines end at CR, LF or CR LF, and a final line break starts no other
  // line; a NUL ends the text; lines longer than kMaxLineLength are cut.
  // The text must outlive the range.
  explicit TLineRange(const TFileText& text) : file_(&text) {}

  // An input iterator; it is only ever compared with end().
  class Iterator {
   public:
    const std::string& operator*() const { return line_; }
    Iterator& operator++();
    bool operator==(const Iterator& other) const { return AtEnd() == other.AtEnd(); }
    bool operator!=(const Iterator& other) const { return !(*this == other); }

   private:
    friend class TLineRange;
    bool AtEnd() const { return done_; }
    // The next character of the file, or -1 at its end or at a NUL; with
    // consume clear the character is only looked at.
    int NextChar(bool consume);
    void ReadFileLine();

    const TFileText* file_ = nullptr;
    std::vector<char> piece_;
    std::size_t fill_ = 0;
    std::size_t pos_ = 0;
    uint64_t pieceEnd_ = 0;  // text offset after the piece
    bool textEnded_ = false;
    std::string line_;
    bool done_ = true;
  };

  // Every pass starts again at the first line.
  Iterator begin() const;
  Iterator end() const { return Iterator(); }

 private:
  const TFileText* file_ = nullptr;
};

}  // namespace zylisp
