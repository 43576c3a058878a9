#include "image/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zylisp {

namespace {

[[noreturn]] void Fail(const std::string& fileName, int error) {
  throw EFileError("Cannot read file " + fileName + ": " + std::strerror(error));
}

}  // namespace

TDataFile::TDataFile(const std::string& fileName) : name_(fileName) {
  if (fileName.empty()) throw EFileError("No file name given");
  fd_ = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) Fail(fileName, errno);
  struct stat info {};
  const int error = fstat(fd_, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  if (error != 0) {
    close(fd_);
    Fail(fileName, error);
  }
  if (S_ISREG(info.st_mode)) length_ = static_cast<uint64_t>(info.st_size);
}

TDataFile::~TDataFile() { close(fd_); }

std::size_t TDataFile::ReadAt(uint64_t offset, char* buffer, std::size_t n) const {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd_, buffer + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(name_, errno);
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

}  // namespace zylisp
