#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/errors.h"

namespace zylisp {

namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
  throw EISPException("Cannot write " + path + ": " + std::strerror(error));
}

}  // namespace

void WriteFileAtomically(const std::string& path, const std::string& contents) {
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = (dir == "." ? std::string() : dir) + "." + base + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');

  const int fd = mkstemp(name.data());
  if (fd < 0) Fail(path, errno);
  const std::string tmp(name.data());

  // Keep the permissions an ordinary new file would get.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, static_cast<mode_t>(0666 & ~mask));

  const char* p = contents.data();
  std::size_t left = contents.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(fd);
      unlink(tmp.c_str());
      Fail(path, error);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0) {
    const int error = errno;
    unlink(tmp.c_str());
    Fail(path, error);
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(tmp.c_str());
    Fail(path, error);
  }
}

}  // namespace zylisp
