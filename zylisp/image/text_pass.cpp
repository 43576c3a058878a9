#include "image/text_pass.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/file_access.h"
#include "image/format_registry.h"
#include "image/image_store.h"
#include "image/line_range.h"

namespace zylisp {

namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 20;
// The text is judged binary by pieces of this many characters: a piece
// that starts within a limit is looked at whole.
constexpr uint64_t kCheckPiece = 64 * 1024;
constexpr unsigned char kNoTextCharacter = 0x80;

bool IsTextCode(uint32_t c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Records(int64_t n) { return std::to_string(n) + (n == 1 ? " record" : " records"); }

class TPass {
 public:
  TPass(TDataFile& file, const TPassRequest& request) : file_(file), request_(request) {}

  TPassResult Run();

 private:
  void StartText(const char* start, std::size_t got);
  // The next characters of the text, decoded.
  void TakeBytes(const char* bytes, std::size_t n);
  void TakeChar(char c);
  void EndLine();
  void TakeLine(const std::string& line);
  void Verdicts(const std::string& line, const TLineCheck& check);
  void ReadLine(const std::string& line);
  void Finish();
  bool Done() const;

  TDataFile& file_;
  const TPassRequest& request_;
  TPassResult result_;
  uint64_t stopAt_ = 0;  // characters after which nothing more is read
  uint64_t bytesRead_ = 0;

  // Decoding.
  unsigned unit_ = 1;
  bool big_ = false;
  unsigned char partial_[4] = {};
  unsigned partialFill_ = 0;

  // Line splitting, as TLineRange splits.
  std::string line_;
  bool lineStarted_ = false;
  bool cut_ = false;
  bool pendingCr_ = false;
  bool textEnded_ = false;  // a NUL ended the lines
  std::size_t lineNumber_ = 0;
  bool linesDone_ = false;  // no later line changes anything

  // The verdicts.
  const TFormatFamily* family_ = nullptr;
  // Before a family claims the file: each family's first line breaking its
  // rules, which the scan from the first line would stop at.
  std::vector<std::pair<std::size_t, std::string>> early_;
  bool plainDone_ = false;
  bool ruledDone_ = false;
  bool ended_ = false;
  int64_t dataRecords_ = 0;

  // The store.
  std::unique_ptr<TImageStore> store_;
  TReadState state_;
  bool readDone_ = false;
};

TPassResult TPass::Run() {
  result_.FileLength = file_.Length();
  stopAt_ = (request_.TextLimit / kCheckPiece + 1) * kCheckPiece;
  early_.resize(FormatFamilies().size());
  std::vector<char> block(kBlockSize);
  // A regular file's length bounds what is kept; a FIFO's is not known.
  if (request_.KeepBytes > 0) {
    const uint64_t most = request_.KeepBytes + 1;
    result_.Kept.reserve(static_cast<std::size_t>(
        result_.FileLength > 0 ? std::min(most, result_.FileLength) : std::min<uint64_t>(most, kBlockSize)));
  }
  std::size_t got = file_.Read(block.data(), block.size());
  bytesRead_ = got;
  StartText(block.data(), got);
  // A file whose length already says it is too long is not read.
  if (result_.KnownLength > request_.TextLimit && request_.KeepBytes < result_.FileLength) {
    result_.Encoding = TTextEncoding::kBytes;
    return std::move(result_);
  }
  std::size_t mark = 0;
  EncodingMark(result_.Encoding, &mark);
  if (result_.Encoding == TTextEncoding::kBytes && got >= 3 && std::memcmp(block.data(), "\xEF\xBB\xBF", 3) == 0)
    mark = 3;
  std::size_t from = std::min(mark, got);
  if (request_.DecodedOnly && !result_.Decoded()) linesDone_ = true;
  while (got > 0) {
    if (request_.KeepBytes > 0 && result_.Kept.size() <= request_.KeepBytes) {
      const std::size_t room = static_cast<std::size_t>(request_.KeepBytes + 1 - result_.Kept.size());
      result_.Kept.append(block.data(), std::min(room, got));
    }
    TakeBytes(block.data() + from, got - from);
    from = 0;
    if (Done()) break;
    got = file_.Read(block.data(), block.size());
    bytesRead_ += got;
  }
  result_.KeptAll = got == 0 && result_.Kept.size() == bytesRead_;
  Finish();
  return std::move(result_);
}

void TPass::StartText(const char* start, std::size_t got) {
  // UTF-32 LE first: its mark begins with the UTF-16 LE one.
  for (TTextEncoding encoding : {TTextEncoding::kUtf32Le, TTextEncoding::kUtf32Be,
                                 TTextEncoding::kUtf16Le, TTextEncoding::kUtf16Be}) {
    std::size_t length = 0;
    const char* mark = EncodingMark(encoding, &length);
    if (got < length || std::memcmp(start, mark, length) != 0) continue;
    result_.Encoding = encoding;
    unit_ = length == 4 ? 4 : 2;
    big_ = encoding == TTextEncoding::kUtf16Be || encoding == TTextEncoding::kUtf32Be;
    const uint64_t bytes = result_.FileLength > length ? result_.FileLength - length : 0;
    result_.KnownLength = (bytes + unit_ - 1) / unit_;
    return;
  }
  const bool utf8 = got >= 3 && std::memcmp(start, "\xEF\xBB\xBF", 3) == 0;
  result_.KnownLength = result_.FileLength > (utf8 ? 3u : 0u) ? result_.FileLength - (utf8 ? 3 : 0) : 0;
}

bool TPass::Done() const {
  if (result_.TextLength >= stopAt_) return true;
  const bool keeping = request_.KeepBytes > 0 && result_.Kept.size() <= request_.KeepBytes;
  // Without a mark, a binary load needs nothing but the bytes kept.
  if (request_.DecodedOnly && !result_.Decoded() && !keeping) return true;
  // Bytes that are no text make a binary file, whatever follows.
  if (!result_.Decoded() && result_.NonText != UINT64_MAX) return !keeping;
  return false;
}

void TPass::TakeBytes(const char* bytes, std::size_t n) {
  if (unit_ == 1) {
    for (std::size_t i = 0; i < n && result_.TextLength < stopAt_; ++i) TakeChar(bytes[i]);
    return;
  }
  for (std::size_t i = 0; i < n && result_.TextLength < stopAt_; ++i) {
    partial_[partialFill_++] = static_cast<unsigned char>(bytes[i]);
    if (partialFill_ < unit_) continue;
    partialFill_ = 0;
    uint32_t code = 0;
    for (unsigned b = 0; b < unit_; ++b) code = code << 8 | partial_[big_ ? b : unit_ - 1 - b];
    // A code unit that is no text character comes as one, never as a NUL.
    TakeChar(static_cast<char>(IsTextCode(code) ? code : kNoTextCharacter));
  }
}

void TPass::TakeChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (result_.NonText == UINT64_MAX && !IsTextCode(u)) result_.NonText = result_.TextLength;
  ++result_.TextLength;
  if (textEnded_) return;
  if (c == '\0') {
    textEnded_ = true;
    if (lineStarted_) EndLine();
    return;
  }
  if (pendingCr_) {
    pendingCr_ = false;
    if (c == '\n') return;
  }
  if (c == '\r' || c == '\n') {
    pendingCr_ = c == '\r';
    EndLine();
    return;
  }
  lineStarted_ = true;
  if (line_.size() < TLineRange::kMaxLineLength) {
    if (!line_.empty() || !IsBlank(c)) line_ += c;
  } else if (!IsBlank(c)) {
    cut_ = true;
  }
}

void TPass::EndLine() {
  // A cut line keeps its full length, blanks and all, so that it stays too
  // long for every format.
  if (!cut_) line_.erase(line_.find_last_not_of(" \t") + 1);
  ++lineNumber_;
  if (!linesDone_) TakeLine(line_);
  line_.clear();
  lineStarted_ = false;
  cut_ = false;
}

void TPass::TakeLine(const std::string& line) {
  if (line.empty()) return;
  const std::vector<TFormatFamily>& families = FormatFamilies();
  if (!family_) {
    for (std::size_t f = 0; f < families.size(); ++f) {
      TLineCheck check = families[f].CheckLine(line);
      if (check.Record) {
        family_ = &families[f];
        if (!early_[f].second.empty()) {
          // A line before this one breaks the family's rules.
          result_.Verdict.DamagedLine = early_[f].first;
          result_.Verdict.Problem = early_[f].second;
          plainDone_ = ruledDone_ = readDone_ = linesDone_ = true;
          return;
        }
        Verdicts(line, check);
        ReadLine(line);
        return;
      }
      if (early_[f].second.empty() && !check.Problem.empty())
        early_[f] = {lineNumber_, std::move(check.Problem)};
    }
    return;
  }
  Verdicts(line, family_->CheckLine(line));
  ReadLine(line);
}

void TPass::Verdicts(const std::string& /*line*/, const TLineCheck& check) {
  TTextVerdict& verdict = result_.Verdict;
  if (!plainDone_) {
    if (!check.Problem.empty() || check.EndsData) plainDone_ = true;
    if (check.Problem.empty()) result_.PlainFormat = std::max(result_.PlainFormat, check.Format);
  }
  if (!ruledDone_) {
    std::string problem = check.Problem;
    if (problem.empty() && request_.Rules.Checksums) problem = check.ChecksumProblem;
    if (problem.empty() && request_.Rules.Counts && check.CountedRecords >= 0 &&
        check.CountedRecords != dataRecords_) {
      problem = check.Kind + " counts " + Records(check.CountedRecords) + ", the file holds " +
                std::to_string(dataRecords_);
    }
    if (!problem.empty()) {
      verdict.DamagedLine = lineNumber_;
      verdict.Problem = std::move(problem);
      ruledDone_ = readDone_ = true;
    } else {
      if (check.DataRecord) ++dataRecords_;
      verdict.Format = std::max(verdict.Format, check.Format);
      verdict.HoldsData = verdict.HoldsData || check.HoldsData;
      if (check.EndsData) ended_ = ruledDone_ = true;
    }
  }
  linesDone_ = plainDone_ && ruledDone_ && readDone_;
}

void TPass::ReadLine(const std::string& line) {
  if (readDone_ && !ended_) return;
  if (readDone_ || request_.Store == TPassRequest::TStore::kNone) {
    readDone_ = true;
    linesDone_ = plainDone_ && ruledDone_;
    return;
  }
  // Text too long for the image, or bytes that are no text, never load.
  if (result_.TextLength > request_.StoreLimit || result_.KnownLength > request_.StoreLimit ||
      (!result_.Decoded() && result_.NonText != UINT64_MAX)) {
    readDone_ = true;
    store_.reset();
    result_.Image.reset();
    linesDone_ = plainDone_ && ruledDone_;
    return;
  }
  if (!store_) {
    if (request_.Store == TPassRequest::TStore::kImage) {
      result_.Image = std::make_unique<THexList>();
      result_.Image->SetSize(request_.ImageSize);
    }
    store_ = std::make_unique<TImageStore>(result_.Image.get());
    state_.Format = family_->FirstFormat;
  }
  store_->SetLine(lineNumber_);
  try {
    if (!family_->ReadLine(line, *store_, state_)) readDone_ = true;
  } catch (const EBeyondImage& e) {
    result_.Beyond = true;
    result_.BeyondLine = e.Line();
    result_.BeyondAddress = e.Address();
    readDone_ = true;
  } catch (const EOverlappingRecords& e) {
    result_.Overlap = e.what();
    readDone_ = true;
  }
  // The end record ends the reading with the verdict.
  if (ended_) readDone_ = true;
  linesDone_ = plainDone_ && ruledDone_ && readDone_;
}

void TPass::Finish() {
  if (unit_ > 1 && partialFill_ > 0 && result_.TextLength < stopAt_) {
    // A last partial code unit is a character that decodes to nothing.
    partialFill_ = 0;
    TakeChar(static_cast<char>(kNoTextCharacter));
  }
  if (!textEnded_ && lineStarted_) EndLine();
  if (result_.Decoded() && !family_) {
    // Without a record the marked text is its bytes: the mark is no text.
    result_.Encoding = TTextEncoding::kBytes;
    result_.TextLength = bytesRead_;
    result_.KnownLength = result_.FileLength;
    result_.NonText = 0;
  }
  if (!family_) {
    result_.Verdict = TTextVerdict();
    result_.PlainFormat = kUnknownFormat;
    result_.Image.reset();
    return;
  }
  TTextVerdict& verdict = result_.Verdict;
  verdict.Family = family_;
  if (!verdict.Damaged() && request_.Rules.Counts && family_->NeedsEndRecord && !ended_)
    verdict.Problem = "no end record: the file may be cut short";
  if (verdict.Format == kUnknownFormat) verdict.Format = family_->FirstFormat;
  if (result_.PlainFormat == kUnknownFormat) result_.PlainFormat = family_->FirstFormat;
}

}  // namespace

TTextCheck TPassResult::Check(uint64_t limit) const {
  if (KnownLength > limit) return TTextCheck::kTooLong;
  if (NonText != UINT64_MAX && NonText / kCheckPiece * kCheckPiece <= limit) return TTextCheck::kBinary;
  if (TextLength > limit) return TTextCheck::kTooLong;
  return TextLength == 0 ? TTextCheck::kEmpty : TTextCheck::kText;
}

TPassResult PassOverFile(TDataFile& file, const TPassRequest& request) {
  return TPass(file, request).Run();
}

}  // namespace zylisp
