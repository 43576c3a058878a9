// What the fuzz harnesses share: a scratch folder, file helpers, the
// catalogue's device names and the check that stops a run on a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// A folder of this process under $TMPDIR, made on first use and removed
// with everything in it when the process ends.
const std::string& ScratchFolder();
std::string ScratchFile(const std::string& name);

void WriteFile(const std::string& path, const std::string& contents);
// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The catalogue's device names as the exports list them: I2C, SPI, then
// Microwire parts.
const std::vector<std::string>& DeviceNames();
// The name a header byte picks.
const std::string& PickDevice(uint8_t pick);

// A broken promise of the code under test: prints what and aborts, which
// the fuzzer reports as a crash with the input that caused it.
void Require(bool holds, const char* what);

// The fuzz input, read from the front: header bytes, then the rest.
class TInput {
 public:
  TInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  // The next byte; 0 once the input is used up.
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Rest() const {
    return std::string(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace fuzz
