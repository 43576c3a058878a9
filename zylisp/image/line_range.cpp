#include "image/line_range.h"

#include "image/file_access.h"

namespace zylisp {

namespace {

constexpr std::size_t kPieceSize = 64 * 1024;

}  // namespace

TLineRange::Iterator TLineRange::begin() const {
  Iterator it;
  if (list_) {
    it.list_ = list_;
    return it;
  }
  it.file_ = file_;
  it.piece_.resize(kPieceSize);
  it.ReadFileLine();
  return it;
}

TLineRange::Iterator& TLineRange::Iterator::operator++() {
  if (list_) {
    ++index_;
  } else {
    ReadFileLine();
  }
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
  int c = NextChar(true);
  // A final line break does not start another line.
  done_ = c < 0;
  while (c >= 0 && c != '\r' && c != '\n') {
    if (line_.size() < kMaxLineLength) line_ += static_cast<char>(c);
    c = NextChar(true);
  }
  if (c == '\r' && NextChar(false) == '\n') NextChar(true);
}

}  // namespace zylisp
