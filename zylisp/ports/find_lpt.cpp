#include "ports/find_lpt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace zylisp {

namespace {

// The kernel's base-addr holds a line of at most two numbers; anything
// longer is not one of them.
constexpr std::size_t kMaxFileSize = 128;
constexpr char kBlanks[] = " \t\r\n";

// Reads a small regular file whole. False when it is missing, not a regular
// file (a device or pipe could block or never end) or too long.
bool ReadSmallFile(const std::string& path, std::string& text) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info {};
  char buffer[kMaxFileSize + 1];
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  const ssize_t n = regular ? read(fd, buffer, sizeof buffer) : -1;
  close(fd);
  if (n < 0 || static_cast<std::size_t>(n) > kMaxFileSize) return false;
  text.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

// Splits the text into at most two unsigned decimal numbers; false on
// anything else.
bool ParseNumbers(const std::string& text, std::vector<long>& numbers) {
  std::size_t start = 0;
  while ((start = text.find_first_not_of(kBlanks, start)) != std::string::npos) {
    const std::size_t end = std::min(text.find_first_of(kBlanks, start), text.size());
    const std::string word = text.substr(start, end - start);
    if (numbers.size() == 2 || word.find_first_not_of("0123456789") != std::string::npos)
      return false;
    // Too many digits clamp to LONG_MAX, which no check below lets through.
    numbers.push_back(std::strtol(word.c_str(), nullptr, 10));
    start = end;
  }
  return true;
}

}  // namespace

std::string ParportDirFromEnvironment(const std::string& fallback) {
  const char* dir = std::getenv("ZYLISP_PARPORT_DIR");
  return dir && *dir ? std::string(dir) : fallback;
}

uint16_t FindLptBase(const std::string& parportDir, uint8_t slot) {
  if (parportDir.empty() || slot == 0) return 0;
  std::string text;
  std::vector<long> numbers;
  const std::string file = parportDir + "/parport" + std::to_string(slot - 1) + "/base-addr";
  if (!ReadSmallFile(file, text) || !ParseNumbers(text, numbers) || numbers.empty()) return 0;
  const long base = numbers[0];
  const long ecp = numbers.size() > 1 ? numbers[1] : 0;
  const bool rangesFit = base > 0 && base <= 0xFFFF - 7 && ecp <= 0xFFFF - 2;
  return rangesFit ? static_cast<uint16_t>(base) : 0;
}

}  // namespace zylisp
