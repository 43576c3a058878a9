#include "image/line_range.h"

#include "image/file_text.h"

namespace zylisp {

namespace {

constexpr std::size_t kPieceSize = 64 * 1024;

bool IsBlank(int c) { return c == ' ' || c == '\t'; }

}  // namespace

TLineRange::Iterator TLineRange::begin() const {
  Iterator it;
  it.file_ = file_;
  it.piece_.resize(kPieceSize);
  it.ReadFileLine();
  return it;
}

TLineRange::Iterator& TLineRange::Iterator::operator++() {
  ReadFileLine();
  return *this;
}

int TLineRange::Iterator::NextChar(bool consume) {
  if (textEnded_) return -1;
  if (pos_ == fill_) {
    fill_ = file_->ReadAt(pieceEnd_, piece_.data(), piece_.size());
    pieceEnd_ += fill_;
    pos_ = 0;
  }
  if (fill_ == 0 || piece_[pos_] == '\0') {
    textEnded_ = true;
    return -1;
  }
  const auto c = static_cast<unsigned char>(piece_[pos_]);
  if (consume) ++pos_;
  return c;
}

void TLineRange::Iterator::ReadFileLine() {
  line_.clear();
  bool cut = false;  // a character other than a blank lay beyond the limit
  int c = NextChar(true);
  // A final line break does not start another line.
  done_ = c < 0;
  while (c >= 0 && c != '\r' && c != '\n') {
    if (line_.size() < kMaxLineLength) {
      if (!line_.empty() || !IsBlank(c)) line_ += static_cast<char>(c);
    } else if (!IsBlank(c)) {
      cut = true;
    }
    c = NextChar(true);
  }
  if (c == '\r' && NextChar(false) == '\n') NextChar(true);
  // A cut line keeps its full length, blanks and all, so that it stays too
  // long for every format.
  if (!cut) line_.erase(line_.find_last_not_of(" \t") + 1);
}

}  // namespace zylisp
