#include "core/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "core/errors.h"
#include "core/target_file.h"

namespace zylisp {

namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
  throw EISPException(CannotWrite(path, error));
}

int WriteAll(int fd, const std::string& contents) {
  const char* p = contents.data();
  std::size_t left = contents.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Writing to a pipe whose reader has gone would end the caller's process
// with SIGPIPE: while this lives the signal is held, and one that the
// write raised is taken back, so the write just fails with EPIPE.
class THeldBrokenPipe {
 public:
  THeldBrokenPipe() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~THeldBrokenPipe() {
    if (raised_ && !wasPending_) {
      const timespec none{0, 0};
      while (sigtimedwait(&pipe_, nullptr, &none) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  THeldBrokenPipe(const THeldBrokenPipe&) = delete;
  THeldBrokenPipe& operator=(const THeldBrokenPipe&) = delete;
  void Note(int error) { raised_ = raised_ || error == EPIPE; }

 private:
  sigset_t pipe_{}, old_{};
  bool wasPending_ = false;
  bool raised_ = false;
};

// A device or pipe takes the bytes where it is; a regular file behind a
// descriptor link is cut to the new length only after all of it is written.
void WriteInPlace(const std::string& path, const TWriteTarget& target,
                  const std::string& contents) {
  THeldBrokenPipe held;
  const int fd = open(target.Name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) Fail(path, errno);
  int error = WriteAll(fd, contents);
  held.Note(error);
  struct stat st {};
  if (error == 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      ftruncate(fd, static_cast<off_t>(contents.size())) != 0)
    error = errno;
  if (close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  if (error != 0) Fail(path, error);
}

// A name no other writer picks: process, time and a running count.
std::string TemporarySuffix() {
  static std::atomic<uint64_t> count{0};
  const uint64_t now =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  uint64_t mix = (now ^ (static_cast<uint64_t>(getpid()) << 40)) +
                 (count.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
  mix ^= mix >> 29;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(mix));
  return text;
}

// The replacement takes over the old file's owner, group and mode; set-id
// bits only go along with the owner and group they belong to.
int KeepOwnerAndMode(int fd, const TWriteTarget& target) {
  mode_t mode = target.Mode & 07777;
  struct stat made {};
  if (fstat(fd, &made) != 0) return errno;
  if (made.st_uid != target.Owner || made.st_gid != target.Group) {
    const bool kept = fchown(fd, target.Owner, target.Group) == 0;
    if (!kept) {
      mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
      if (made.st_gid != target.Group && fchown(fd, static_cast<uid_t>(-1), target.Group) != 0) {
        // The group stays the process's own: it gets no more than others.
        mode =
            static_cast<mode_t>((mode & ~static_cast<mode_t>(S_IRWXG)) | ((mode & S_IRWXO) << 3));
      }
    }
  }
  return fchmod(fd, mode) == 0 ? 0 : errno;
}

void Replace(const std::string& path, const TWriteTarget& target, const std::string& contents) {
  const std::size_t slash = target.Name.find_last_of('/');
  const std::string prefix = slash == std::string::npos ? "" : target.Name.substr(0, slash + 1);
  const std::string base = target.Name.substr(prefix.size());
  // A new file is made with 0666 and the kernel applies the umask (or the
  // folder's default ACL); a replacement starts private until its mode is set.
  const mode_t start = target.Kind == TWriteTarget::kNewFile ? 0666 : 0600;
  std::string tmp;
  int fd = -1;
  for (int tries = 0; fd < 0; ++tries) {
    tmp = prefix + "." + base.substr(0, 200) + ".tmp-" + TemporarySuffix();
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, start);
    if (fd < 0 && (errno != EEXIST || tries == 100)) Fail(path, errno);
  }

  int error = target.Kind == TWriteTarget::kRegularFile ? KeepOwnerAndMode(fd, target) : 0;
  if (error == 0) error = WriteAll(fd, contents);
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(tmp.c_str(), target.Name.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(tmp.c_str());
    Fail(path, error);
  }
  // The new name is on disk only once its folder is.
  const int folder =
      open(prefix.empty() ? "." : prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
}

}  // namespace

void WriteFileAtomically(const std::string& path, const std::string& contents) {
  TWriteTarget target;
  int error = FindWriteTarget(path, target);
  if (error == 0) error = WriteTargetError(target);
  if (error != 0) Fail(path, error);
  if (target.Kind == TWriteTarget::kInPlace) {
    WriteInPlace(path, target, contents);
  } else {
    Replace(path, target, contents);
  }
}

}  // namespace zylisp
