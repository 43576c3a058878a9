#include "image/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zylisp {

namespace {

[[noreturn]] void Fail(const std::string& fileName, int error) {
  throw EFileError("Cannot read file " + fileName + ": " + std::strerror(error));
}

// Closes the descriptor on every way out.
class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string ReadFileBytes(const std::string& fileName, std::size_t maxBytes, bool stopAtNul) {
  if (fileName.empty()) throw EFileError("No file name given");
  const TFd fd(open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) Fail(fileName, errno);
  struct stat info {};
  if (fstat(fd.Get(), &info) != 0) Fail(fileName, errno);
  if (S_ISDIR(info.st_mode)) Fail(fileName, EISDIR);

  std::string bytes;
  char chunk[65536];
  while (bytes.size() < maxBytes) {
    const std::size_t want = std::min(sizeof chunk, maxBytes - bytes.size());
    const ssize_t n = read(fd.Get(), chunk, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(fileName, errno);
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
    if (stopAtNul && std::memchr(chunk, '\0', static_cast<std::size_t>(n)) != nullptr) break;
  }
  return bytes;
}

}  // namespace zylisp
