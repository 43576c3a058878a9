#include "ports/find_lpt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace zylisp {

namespace {

// The kernel's files hold a line of at most two numbers; anything longer is
// not one of them.
constexpr std::size_t kMaxFileSize = 128;

// Reads a small regular file whole. False when it is missing, not a regular
// file (a device or pipe could block or never end) or too long.
bool ReadSmallFile(const std::string& path, std::string& text) {
  text.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  char buffer[kMaxFileSize + 1];
  std::size_t used = 0;
  bool ok = true;
  while (used < sizeof buffer) {
    const ssize_t n = read(fd, buffer + used, sizeof buffer - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  close(fd);
  if (!ok || used > kMaxFileSize) return false;
  text.assign(buffer, used);
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Splits the text into at most two decimal numbers (negative ones only when
// allowSigned). False on anything else, or on absurdly large values.
bool ParseNumbers(const std::string& text, std::vector<long>& numbers, bool allowSigned) {
  numbers.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsBlank(text[i])) {
      ++i;
      continue;
    }
    bool negative = false;
    if (allowSigned && text[i] == '-') {
      negative = true;
      ++i;
    }
    const std::size_t start = i;
    long value = 0;
    while (i < text.size() && !IsBlank(text[i])) {
      const char c = text[i];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
      // No value this code accepts comes anywhere near this.
      if (value > 0xFFFFF) return false;
      ++i;
    }
    if (i == start) return false;
    numbers.push_back(negative ? -value : value);
    if (numbers.size() > 2) return false;
  }
  return true;
}

// A single byte-sized channel number from an irq or dma file; -1, a missing
// file and anything unreadable mean none.
bool ReadChannel(const std::string& path, uint8_t& channel) {
  std::string text;
  std::vector<long> numbers;
  if (!ReadSmallFile(path, text) || !ParseNumbers(text, numbers, true)) return false;
  if (numbers.size() != 1 || numbers[0] < 0 || numbers[0] > 0xFF) return false;
  channel = static_cast<uint8_t>(numbers[0]);
  return true;
}

}  // namespace

std::string ParportDirFromEnvironment(const std::string& fallback) {
  const char* dir = std::getenv("ZYLISP_PARPORT_DIR");
  return dir && *dir ? std::string(dir) : fallback;
}

TFindLpt::TFindLpt() : dir_(ParportDirFromEnvironment(kDefaultParportDir)) {}

TFindLpt::TFindLpt(std::string parportDir) : dir_(std::move(parportDir)) {}

bool TFindLpt::FindPort(uint8_t slot) {
  PortName = "LPT" + std::to_string(slot);
  DeviceCount = 0;
  IrqCount = 0;
  Irq = 0;
  DmaCount = 0;
  Dma = 0;
  RangeCount = 0;
  RangeStart[0] = RangeStart[1] = 0;
  RangeEnd[0] = RangeEnd[1] = 0;
  if (dir_.empty() || slot == 0) return false;

  const std::string folder = dir_ + "/parport" + std::to_string(slot - 1);
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  DeviceCount = 1;

  // base-addr: the base (eight registers) and the ECP base (three); an ECP
  // base of 0 or none means the port has no ECP registers. A file that is
  // not exactly that records no range at all rather than a doubtful one.
  std::string text;
  std::vector<long> numbers;
  if (ReadSmallFile(folder + "/base-addr", text) && ParseNumbers(text, numbers, false) &&
      !numbers.empty()) {
    const long base = numbers[0];
    const long ecp = numbers.size() > 1 ? numbers[1] : 0;
    const bool baseOk = base > 0 && base + 7 <= 0xFFFF;
    const bool ecpOk = ecp == 0 || ecp + 2 <= 0xFFFF;
    if (baseOk && ecpOk) {
      RangeStart[0] = static_cast<uint16_t>(base);
      RangeEnd[0] = static_cast<uint16_t>(base + 7);
      RangeCount = 1;
      if (ecp != 0) {
        RangeStart[1] = static_cast<uint16_t>(ecp);
        RangeEnd[1] = static_cast<uint16_t>(ecp + 2);
        RangeCount = 2;
      }
    }
  }

  uint8_t channel = 0;
  if (ReadChannel(folder + "/irq", channel)) {
    IrqCount = 1;
    Irq = channel;
  }
  if (ReadChannel(folder + "/dma", channel)) {
    DmaCount = 1;
    Dma = channel;
  }
  return true;
}

uint16_t TFindLpt::PortBase(uint8_t index) const {
  if (index >= 1 && index <= RangeCount) return RangeStart[index - 1];
  return 0xFFFF;
}

}  // namespace zylisp
