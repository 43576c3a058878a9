// Where the readers put the bytes of a file's records: the image, or no
// image when a file is only looked through. Every address remembers the
// line that gave it, so two lines giving one address different bytes are
// found, and a byte beyond the image names its line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
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

  // A reader calls this once for every line of the file, empty ones
  // included, before it looks at the line.
  void NextLine() { ++line_; }
  std::size_t Line() const { return line_; }

  // Raises EBeyondImage for an address the image lacks (nothing stored) and
  // EOverlappingRecords when an earlier line gave the address another byte.
  void Store(uint64_t address, uint8_t value);

 private:
  static constexpr std::size_t kPageSize = 1024;
  struct TPage {
    std::vector<uint32_t> Line = std::vector<uint32_t>(kPageSize);  // 0: not given
    std::vector<uint8_t> Value = std::vector<uint8_t>(kPageSize);
  };

  THexList* image_;
  uint64_t limit_;
  std::size_t line_ = 0;
  // Pages of addresses some record gave, made as records reach them.
  std::map<uint64_t, TPage> pages_;
};

}  // namespace zylisp
