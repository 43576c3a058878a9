#include "image/file_access.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "core/stop_request.h"

namespace zylisp {

namespace {

[[noreturn]] void Fail(const std::string& fileName, int error) {
  throw EFileError("Cannot read file " + fileName + ": " + std::strerror(error));
}

// How long one wait for a FIFO's writer lasts before the stop request is
// looked at again.
constexpr int kStopCheckMs = 100;

std::atomic<uint64_t> handedOut{0};

}  // namespace

TDataFile::TDataFile(const std::string& fileName) : name_(fileName), stopEpoch_(StopEpoch()) {
  if (fileName.empty()) throw EFileError("No file name given");
  // Without O_NONBLOCK a FIFO nobody writes would hold the open forever.
  fd_ = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) Fail(fileName, errno);
  struct stat info {};
  const int error = fstat(fd_, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  if (error != 0) {
    close(fd_);
    Fail(fileName, error);
  }
  if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) {
    close(fd_);
    throw EFileError("Cannot read file " + fileName + ": it is a device, not a data file");
  }
  fifo_ = S_ISFIFO(info.st_mode);
  if (!fifo_) length_ = static_cast<uint64_t>(info.st_size);
}

TDataFile::~TDataFile() { close(fd_); }

std::size_t TDataFile::ReadSome(char* buffer, std::size_t n) const {
  for (;;) {
    if (ended_) return 0;
    const ssize_t got = read(fd_, buffer, n);
    if (got > 0) {
      sawData_ = true;
      return static_cast<std::size_t>(got);
    }
    if (got == 0) {
      // A FIFO that ends before any byte came has no writer: refused, as
      // waiting for one could last forever.
      if (fifo_ && !sawData_)
        throw EFileError("Cannot read file " + name_ + ": it is a FIFO that no program writes");
      ended_ = true;
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) Fail(name_, errno);
    // A FIFO whose writer has not written yet: wait, but never past a stop.
    if (StopRequestedSince(stopEpoch_))
      throw EFileError("Cannot read file " + name_ + ": stopped while waiting for its writer");
    pollfd p{fd_, POLLIN, 0};
    poll(&p, 1, kStopCheckMs);
  }
}

void TDataFile::ReadUpTo(uint64_t end) const {
  char buffer[65536];
  while (kept_.size() < end) {
    const std::size_t got = ReadSome(buffer, sizeof buffer);
    if (got == 0) break;
    kept_.append(buffer, got);
  }
}

std::size_t TDataFile::ReadAt(uint64_t offset, char* buffer, std::size_t n) const {
  ReadUpTo(offset + n);
  if (offset >= kept_.size()) return 0;
  const std::size_t count = std::min<std::size_t>(n, kept_.size() - offset);
  std::memcpy(buffer, kept_.data() + offset, count);
  handedOut += count;
  return count;
}

std::size_t TDataFile::Read(char* buffer, std::size_t n) {
  std::size_t filled = 0;
  while (filled < n) {
    const std::size_t got = ReadSome(buffer + filled, n - filled);
    if (got == 0) break;
    filled += got;
  }
  handedOut += filled;
  return filled;
}

uint64_t TDataFile::BytesHandedOut() { return handedOut; }

}  // namespace zylisp
