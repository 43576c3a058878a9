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
#include <climits>
#include <cstring>

#include "core/errors.h"

namespace zylisp {

namespace {

struct TWriteTarget {
  enum TKind {
    kNewFile,      // nothing there yet: created in Name's folder
    kRegularFile,  // an existing file: replaced whole at Name
    kInPlace,      // a device, a pipe, or a file reached through a descriptor
                   // link: written through the name given, never replaced
  };
  TKind Kind = kNewFile;
  // The name written: the name given, with its symbolic links followed
  // for a file that is created or replaced.
  std::string Name;
  // Of an existing file: its type and permission bits, owner and group.
  mode_t Mode = 0;
  uid_t Owner = 0;
  gid_t Group = 0;
};

constexpr int kMaxLinks = 40;  // as many as the kernel follows

// "dir/" of "dir/name", "" of a name without a folder.
std::string FolderPrefix(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

std::string FolderOf(const std::string& name) {
  const std::string prefix = FolderPrefix(name);
  return prefix.empty() ? "." : prefix;
}

// Effective ids, as the kernel checks an open.
int Accessible(const std::string& path, int how) {
  return faccessat(AT_FDCWD, path.c_str(), how, AT_EACCESS) == 0 ? 0 : errno;
}

// A link holds less than PATH_MAX characters.
int ReadLink(const std::string& link, std::string& to) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n < 0) return errno;
  to.assign(buffer, static_cast<std::size_t>(n));
  return 0;
}

// The folder that takes the new file, or the temporary one beside a file
// that is replaced.
int FolderError(const TWriteTarget& target) {
  const std::string folder = FolderOf(target.Name);
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  if (const int error = Accessible(folder, W_OK | X_OK)) return error;
  // In a sticky folder only the owner of a file (or of the folder) may
  // rename over it.
  const uid_t me = geteuid();
  if (target.Kind == TWriteTarget::kRegularFile && (st.st_mode & S_ISVTX) && me != 0 &&
      me != st.st_uid && me != target.Owner)
    return EPERM;
  return 0;
}

// 0 when the process may write the target as the kernel would allow it
// (root may replace a read-only file); a file is replaced through its
// folder, so that folder must take new names.
int WriteTargetError(const TWriteTarget& target) {
  if (target.Kind == TWriteTarget::kInPlace)  // a socket cannot be opened
    return S_ISSOCK(target.Mode) ? ENXIO : Accessible(target.Name, W_OK);
  if (target.Kind == TWriteTarget::kRegularFile) {
    if (const int error = Accessible(target.Name, W_OK)) return error;
  }
  return FolderError(target);
}

// Follows fileName's symbolic links and checks the target may be written:
// 0 and the target, or the system's error number (a directory gives EISDIR).
int FindWriteTarget(const std::string& fileName, TWriteTarget& target) {
  if (fileName.empty()) return ENOENT;
  struct stat st {};
  const bool exists = stat(fileName.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return errno;
  if (exists && S_ISDIR(st.st_mode)) return EISDIR;

  // Follow the links by name, so that a replacement lands where the last
  // one points and the links stay links; a dangling one makes its target.
  target.Name = fileName;
  for (int hops = 0;; ++hops) {
    struct stat link {};
    if (lstat(target.Name.c_str(), &link) != 0) {
      if (errno != ENOENT) return errno;
      break;
    }
    if (!S_ISLNK(link.st_mode)) break;
    if (hops == kMaxLinks) return ELOOP;
    std::string to;
    if (const int error = ReadLink(target.Name, to)) return error;
    target.Name = !to.empty() && to[0] == '/' ? to : FolderPrefix(target.Name) + to;
  }

  if (!exists) {
    if (target.Name.back() == '/') return EISDIR;
    target.Kind = TWriteTarget::kNewFile;
    return WriteTargetError(target);
  }
  target.Mode = st.st_mode;
  target.Owner = st.st_uid;
  target.Group = st.st_gid;
  // A name that does not lead to the file the kernel opens is a descriptor
  // link (/dev/stdout, /proc/self/fd/N): only the open file is the target.
  struct stat last {};
  const bool sameFile = lstat(target.Name.c_str(), &last) == 0 && last.st_dev == st.st_dev &&
                        last.st_ino == st.st_ino;
  const bool replaced = S_ISREG(st.st_mode) && sameFile;
  target.Kind = replaced ? TWriteTarget::kRegularFile : TWriteTarget::kInPlace;
  if (!replaced) target.Name = fileName;
  return WriteTargetError(target);
}

std::string CannotWrite(const std::string& fileName, int error) {
  return "cannot write " + fileName + ": " + std::strerror(error);
}

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
  const std::string prefix = FolderPrefix(target.Name);
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
      open(FolderOf(target.Name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
}

}  // namespace

std::string TargetFileProblem(const std::string& fileName) {
  TWriteTarget target;
  const int error = FindWriteTarget(fileName, target);
  return error == 0 ? std::string() : CannotWrite(fileName, error);
}

void WriteFileAtomically(const std::string& path, const std::string& contents) {
  TWriteTarget target;
  if (const int error = FindWriteTarget(path, target)) Fail(path, error);
  if (target.Kind == TWriteTarget::kInPlace) {
    WriteInPlace(path, target, contents);
  } else {
    Replace(path, target, contents);
  }
}

}  // namespace zylisp
