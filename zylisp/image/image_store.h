// Where the readers put the bytes of a file's records: the image, or no
// image when a file is only looked through. Every address remembers the
// line that gave it, so two lines giving one address different bytes are
// found, and a byte beyond the image names its line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"

namespace zylisp {

class THexList;

// Two lines give one address different bytes. The message is
// "lines 2 and 7 both give address 0010 (12, then 34)".
class EOverlappingRecords : public EZylError {
 public:
  using EZylError::EZylError;
};

// A record byte at an address the image does not have.
class EBeyondImage : public EISPException {
 public:
  EBeyondImage(std::size_t line, uint64_t address);
  std::size_t Line() const { return line_; }
  uint64_t Address() const { return address_; }

 private:
  std::size_t line_;
  uint64_t address_;
};

// "0010": an address in at least four hex digits.
std::string AddressText(uint64_t address);

class TImageStore {
 public:
  // With image nullptr the bytes go nowhere; they are still compared with
  // each other, at every address any image can have.
  explicit TImageStore(THexList* image);
  ~TImageStore();
  TImageStore(const TImageStore&) = delete;
  TImageStore& operator=(const TImageStore&) = delete;

  // A reader calls this once for every line of the file, empty ones
  // included, before it looks at the line.
  void NextLine() { SetLine(line_ + 1); }
  // The line the next bytes come from, for a caller that counts the lines.
  void SetLine(std::size_t line);
  std::size_t Line() const { return line_; }

  // Raises EBeyondImage for an address the image lacks (nothing stored) and
  // EOverlappingRecords when an earlier line gave the address another byte.
  void Store(uint64_t address, uint8_t value);

 private:
  // Which addresses some line gave, by pages made as records reach them;
  // without an image the page keeps the bytes too.
  static constexpr uint32_t kPageBits = 16;
  static constexpr std::size_t kPageSize = std::size_t{1} << kPageBits;
  struct TPage {
    uint64_t Given[kPageSize / 64] = {};
    std::vector<uint8_t> Value;
  };
  // The lines that gave addresses, as runs of lines one after the other
  // whose records have one length and follow each other in the image:
  // line First + k gave Length addresses from Address + k * Length. Only a
  // second byte for an address looks into them, to name the earlier line.
  struct TRun {
    uint32_t Address;
    uint32_t First;
    uint32_t Count;
    uint32_t Length;
  };

  void EndLineRange();
  // The last line before this one that gave the address.
  std::size_t EarlierLine(uint64_t address) const;
  [[noreturn]] void Overlap(uint64_t address, uint8_t before, uint8_t value) const;

  THexList* image_;
  uint64_t limit_;
  std::size_t line_ = 0;
  std::vector<std::unique_ptr<TPage>> pages_;
  std::vector<TRun> runs_;
  // The addresses this line gave so far: lo_ up to hi_, none when lo_ > hi_.
  uint64_t lo_ = 1;
  uint64_t hi_ = 0;
};

}  // namespace zylisp
