#include "zylsim/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "zylsim/emulator_config.h"

namespace zylsim {

namespace {

std::string SystemReason() { return std::strerror(errno); }

}  // namespace

bool LoadImageFile(const std::string& path, std::vector<uint8_t>& contents) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    throw ConfigError("cannot open image " + path + ": " + SystemReason());
  }
  auto fail = [&](const std::string& message) {
    ::close(fd);
    throw ConfigError(message);
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) fail("image " + path + " is not a regular file");
  if (static_cast<uint64_t>(st.st_size) != contents.size())
    fail("image " + path + " holds " + std::to_string(st.st_size) + " bytes, the chip " +
         std::to_string(contents.size()));
  std::vector<uint8_t> data(contents.size());
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      fail("cannot read image " + path + ": " + (n < 0 ? SystemReason() : "file shrank while reading"));
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  contents.swap(data);
  return true;
}

// SaveImageFile makes a temporary file in the folder and renames it there.
void CheckImageWritable(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0)
    throw ConfigError("cannot write image " + path + ": folder " + folder + ": " + SystemReason());
  if (!S_ISDIR(st.st_mode))
    throw ConfigError("cannot write image " + path + ": " + folder + " is not a folder");
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    throw ConfigError("cannot write image " + path + ": folder " + folder + ": " + SystemReason());
}

void SaveImageFile(const std::string& path, const std::vector<uint8_t>& contents) {
  const std::string failure = "cannot write image " + path + ": ";
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(&temp[0]);
  if (fd < 0) throw std::runtime_error(failure + SystemReason());
  auto fail = [&](const std::string& what) {
    const std::string reason = SystemReason();
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    throw std::runtime_error(failure + what + ": " + reason);
  };
  // mkstemp makes the file private: keep the old file's mode, or give a new
  // image an ordinary data file's.
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  if (::fchmod(fd, mode) != 0) fail("chmod");
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("write");
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) fail("fsync");
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) fail("close");
  if (::rename(temp.c_str(), path.c_str()) != 0) fail("rename");
}

}  // namespace zylsim
