#include "core/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "core/errors.h"

namespace zylisp {

namespace {

// Reasons of our own beside the system's error numbers (which are positive).
constexpr int kLinkNotFollowed = -1;  // a link another user planted
constexpr int kChangedMeanwhile = -2; // the file was swapped during the write
constexpr int kNoReader = -3;         // a FIFO that nobody reads

constexpr int kMaxLinks = 40;  // as many as the kernel follows

class TDescriptor {
 public:
  explicit TDescriptor(int fd = -1) : fd_(fd) {}
  ~TDescriptor() { Reset(); }
  TDescriptor(TDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  TDescriptor& operator=(TDescriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // Forgets a descriptor the caller closed itself.
  void Release() { fd_ = -1; }

 private:
  int fd_;
};

// Where a write lands: a folder opened once and a name in it. Every later
// step works relative to the folder, so a folder or link swapped on the way
// cannot send the write anywhere else.
struct TWriteTarget {
  enum TKind {
    kNewFile,      // nothing there yet: created under Name
    kRegularFile,  // an existing file: replaced whole under Name
    kInPlace,      // a device, a pipe, or a file reached through a descriptor
                   // link (/dev/stdout): written where it is, never replaced
  };
  TKind Kind = kNewFile;
  TDescriptor Folder;  // O_PATH
  std::string Name;    // one component
  bool MagicLink = false;  // Name is a /proc descriptor link, opened through
  // Of an existing file: its identity, type and permission bits, owner and group.
  dev_t Device = 0;
  ino_t Inode = 0;
  mode_t Mode = 0;
  uid_t Owner = 0;
  gid_t Group = 0;
};

// Opens the folder of path (relative to base, a folder descriptor or
// AT_FDCWD) and sets name to its last component.
int OpenPlace(const std::string& path, int base, TDescriptor& folder, std::string& name) {
  if (path.empty()) return ENOENT;
  if (path.back() == '/') return EISDIR;
  const std::size_t slash = path.find_last_of('/');
  const std::string folderPath =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name == "." || name == "..") return EISDIR;
  // The kernel resolves the folder's own path, with its rules for links.
  folder = TDescriptor(openat(base, folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  return folder.Valid() ? 0 : errno;
}

// Whether a link may be followed, by the kernel's rule for shared folders:
// in a sticky folder that everyone may write, only a link of the follower
// or of the folder's owner. ownLinksOnly asks more: the follower's own.
bool MayFollow(int folder, const struct stat& link, bool ownLinksOnly) {
  const uid_t me = geteuid();
  if (link.st_uid == me) return true;
  if (ownLinksOnly) return false;
  struct stat st {};
  if (fstat(folder, &st) != 0) return false;
  const bool shared = (st.st_mode & S_ISVTX) && (st.st_mode & S_IWOTH);
  return !shared || link.st_uid == st.st_uid;
}

bool OnProc(int folder) {
  struct statfs fs {};
  return fstatfs(folder, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

int ReadLinkAt(int folder, const std::string& name, std::string& to) {
  char buffer[PATH_MAX];
  const ssize_t n = readlinkat(folder, name.c_str(), buffer, sizeof buffer);
  if (n < 0) return errno;
  to.assign(buffer, static_cast<std::size_t>(n));
  return 0;
}

// Walks fileName's links itself, one folder at a time, following only
// those the kernel would: 0 and the target, or why it cannot be reached.
int FindTarget(const std::string& fileName, const TWriteRules& rules, TWriteTarget& target) {
  if (const int error = OpenPlace(fileName, AT_FDCWD, target.Folder, target.Name)) return error;
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (fstatat(target.Folder.Get(), target.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return errno;
      target.Kind = TWriteTarget::kNewFile;
      return 0;
    }
    target.Device = st.st_dev;
    target.Inode = st.st_ino;
    target.Mode = st.st_mode;
    target.Owner = st.st_uid;
    target.Group = st.st_gid;
    if (S_ISLNK(st.st_mode)) {
      if (hops == kMaxLinks) return ELOOP;
      if (!MayFollow(target.Folder.Get(), st, rules.OwnLinksOnly)) return kLinkNotFollowed;
      // A descriptor link leads to an open file, not to a name.
      if (OnProc(target.Folder.Get())) {
        struct stat opened {};
        if (fstatat(target.Folder.Get(), target.Name.c_str(), &opened, 0) != 0) return errno;
        if (S_ISDIR(opened.st_mode)) return EISDIR;
        target.Kind = TWriteTarget::kInPlace;
        target.MagicLink = true;
        target.Mode = opened.st_mode;
        return 0;
      }
      std::string to;
      if (const int error = ReadLinkAt(target.Folder.Get(), target.Name, to)) return error;
      TDescriptor next;
      std::string name;
      if (const int error = OpenPlace(to, target.Folder.Get(), next, name)) return error;
      target.Folder = std::move(next);
      target.Name = name;
      continue;
    }
    if (S_ISDIR(st.st_mode)) return EISDIR;
    target.Kind = S_ISREG(st.st_mode) ? TWriteTarget::kRegularFile : TWriteTarget::kInPlace;
    return 0;
  }
}

// Effective ids, as the kernel checks an open; name "." is the folder.
int Accessible(const TWriteTarget& target, const char* name, int how, int flags = 0) {
  return faccessat(target.Folder.Get(), name, how, AT_EACCESS | flags) == 0 ? 0 : errno;
}

// 0 when the process may write the target as the kernel would allow it
// (root may replace a read-only file); a file is made or replaced through
// its folder, so that folder must take new names.
int WriteTargetError(const TWriteTarget& target) {
  if (target.Kind == TWriteTarget::kInPlace) {
    if (S_ISSOCK(target.Mode)) return ENXIO;  // a socket cannot be opened
    return Accessible(target, target.Name.c_str(), W_OK, target.MagicLink ? 0 : AT_SYMLINK_NOFOLLOW);
  }
  if (target.Kind == TWriteTarget::kRegularFile) {
    if (const int error = Accessible(target, target.Name.c_str(), W_OK, AT_SYMLINK_NOFOLLOW))
      return error;
  }
  if (const int error = Accessible(target, ".", W_OK | X_OK)) return error;
  // In a sticky folder only the owner of a file (or of the folder) may
  // rename over it.
  struct stat folder {};
  if (fstat(target.Folder.Get(), &folder) != 0) return errno;
  const uid_t me = geteuid();
  if (target.Kind == TWriteTarget::kRegularFile && (folder.st_mode & S_ISVTX) && me != 0 &&
      me != folder.st_uid && me != target.Owner)
    return EPERM;
  return 0;
}

std::string CannotWrite(const std::string& fileName, int error) {
  const char* reason =
      error == kLinkNotFollowed
          ? "it is a link of another user in a shared folder, which is not followed"
      : error == kChangedMeanwhile ? "the file was replaced by another while it was written"
      : error == kNoReader         ? "it is a FIFO that no program reads"
                                   : std::strerror(error);
  return "cannot write " + fileName + ": " + reason;
}

[[noreturn]] void Fail(const std::string& path, int error) {
  throw EISPException(CannotWrite(path, error));
}

int WriteAll(int fd, const char* p, std::size_t left) {
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

// Gathers the pieces a producer hands over into blocks for the file, so a
// file made of many small pieces takes few writes; the first write that
// fails stops the producer.
class TBlockWriter {
 public:
  static constexpr std::size_t kBlock = 64 << 10;

  explicit TBlockWriter(int fd) : fd_(fd) {}

  // Runs produce with a sink into the file and writes what it left in the
  // block: 0, or why the file did not take it all. What produce throws
  // goes on to the caller.
  int Write(const TContentsProducer& produce) {
    try {
      produce([this](const char* data, std::size_t size) { Put(data, size); });
    } catch (const TFailed&) {
    }
    Flush();
    return error_;
  }
  int Error() const { return error_; }
  uint64_t Written() const { return written_; }

 private:
  struct TFailed {};

  void Put(const char* data, std::size_t size) {
    if (error_ == 0 && fill_ + size > kBlock) Flush();
    if (error_ == 0 && size >= kBlock) {
      Send(data, size);  // a large piece goes straight to the file
    } else if (error_ == 0 && size > 0) {
      std::memcpy(block_.get() + fill_, data, size);
      fill_ += size;
    }
    if (error_ != 0) throw TFailed{};
  }
  void Flush() {
    Send(block_.get(), fill_);
    fill_ = 0;
  }
  void Send(const char* data, std::size_t size) {
    if (error_ != 0 || size == 0) return;
    error_ = WriteAll(fd_, data, size);
    if (error_ == 0) written_ += size;
  }

  int fd_;
  int error_ = 0;
  uint64_t written_ = 0;
  std::unique_ptr<char[]> block_{new char[kBlock]};
  std::size_t fill_ = 0;
};

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
// A FIFO that nobody reads is refused at once rather than waited for.
void WriteInPlace(const std::string& path, const TWriteTarget& target,
                  const TContentsProducer& produce) {
  THeldBrokenPipe held;
  const int follow = target.MagicLink ? 0 : O_NOFOLLOW;
  TDescriptor fd(openat(target.Folder.Get(), target.Name.c_str(),
                        O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | follow));
  if (!fd.Valid()) Fail(path, errno == ENXIO && S_ISFIFO(target.Mode) ? kNoReader : errno);
  const int flags = fcntl(fd.Get(), F_GETFL);
  if (flags >= 0) fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
  TBlockWriter writer(fd.Get());
  int error = 0;
  try {
    error = writer.Write(produce);
  } catch (...) {
    // A reader that went before the producer failed raised the signal too.
    held.Note(writer.Error());
    throw;
  }
  held.Note(error);
  struct stat st {};
  if (error == 0 && fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) &&
      ftruncate(fd.Get(), static_cast<off_t>(writer.Written())) != 0)
    error = errno;
  if (close(fd.Get()) != 0 && error == 0 && errno != EINTR) error = errno;
  fd.Release();
  if (error != 0) Fail(path, error);
}

// A name no other writer picks: process, time and a running count. The
// process id in it tells a leftover of a killed writer from a live one's.
std::string TemporaryName(const std::string& base) {
  static std::atomic<uint64_t> count{0};
  const uint64_t now =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  uint64_t mix = now + (count.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
  mix ^= mix >> 29;
  char text[48];
  std::snprintf(text, sizeof text, ".tmp-%ld-%016llx", static_cast<long>(getpid()),
                static_cast<unsigned long long>(mix));
  return "." + base.substr(0, 200) + text;
}

// Removes temporary files of ours for this name that a writer killed
// between making and renaming them left behind.
void RemoveLeftovers(const TWriteTarget& target) {
  const int listing = openat(target.Folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return;
  DIR* dir = fdopendir(listing);
  if (!dir) {
    close(listing);
    return;
  }
  const std::string prefix = "." + target.Name.substr(0, 200) + ".tmp-";
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (pid <= 0 || !end || *end != '-') continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    struct stat st {};
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_uid == geteuid())
      unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
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

// The contents in a file of the target's folder that has no name yet where
// the file system allows it (nothing is left behind by a kill), else under
// a temporary name; tmp says which.
int MakeContents(const TWriteTarget& target, const TWriteRules& rules,
                 const TContentsProducer& produce, TDescriptor& fd, std::string& tmp) {
  // A new file is made with the rules' mode and the kernel applies the
  // umask (or the folder's default ACL); a replacement starts private until
  // its mode is set.
  const mode_t start = target.Kind == TWriteTarget::kNewFile ? rules.NewFileMode : 0600;
  tmp.clear();
  fd = TDescriptor(openat(target.Folder.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, start));
  for (int tries = 0; !fd.Valid(); ++tries) {
    tmp = TemporaryName(target.Name);
    fd = TDescriptor(openat(target.Folder.Get(), tmp.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, start));
    if (!fd.Valid() && (errno != EEXIST || tries == 100)) return errno;
  }
  int error = target.Kind == TWriteTarget::kRegularFile ? KeepOwnerAndMode(fd.Get(), target) : 0;
  if (error == 0) error = TBlockWriter(fd.Get()).Write(produce);
  if (error == 0 && fsync(fd.Get()) != 0) error = errno;
  return error;
}

// Gives an unnamed file the name; EEXIST when the name is taken.
int LinkUnnamed(const TDescriptor& fd, const TWriteTarget& target, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd.Get());
  return linkat(AT_FDCWD, self.c_str(), target.Folder.Get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0
             ? 0
             : errno;
}

// Still the file that was checked, under its name.
bool Unchanged(const TWriteTarget& target) {
  struct stat st {};
  return fstatat(target.Folder.Get(), target.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         st.st_dev == target.Device && st.st_ino == target.Inode;
}

void SyncFolder(const TWriteTarget& target) {
  // The new name is on disk only once its folder is.
  const TDescriptor folder(openat(target.Folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) fsync(folder.Get());
}

// A new file takes its name only if nothing took it meanwhile; a replaced
// file is swapped for the new one only while it is still the one checked.
void MakeOrReplace(const std::string& path, const TWriteTarget& target, const TWriteRules& rules,
                   const TContentsProducer& produce) {
  RemoveLeftovers(target);
  TDescriptor fd;
  std::string tmp;
  int error = 0;
  try {
    error = MakeContents(target, rules, produce, fd, tmp);
  } catch (...) {
    // The producer failed: its file goes, unnamed or not.
    if (!tmp.empty()) unlinkat(target.Folder.Get(), tmp.c_str(), 0);
    throw;
  }
  const bool named = !tmp.empty();
  if (error == 0 && !named && target.Kind == TWriteTarget::kNewFile) {
    error = LinkUnnamed(fd, target, target.Name);
  } else if (error == 0) {
    if (!named) {
      tmp = TemporaryName(target.Name);
      error = LinkUnnamed(fd, target, tmp);
      if (error != 0) tmp.clear();
    }
    if (error == 0 && target.Kind == TWriteTarget::kNewFile) {
      error = linkat(target.Folder.Get(), tmp.c_str(), target.Folder.Get(), target.Name.c_str(), 0)
                  == 0 ? 0 : errno;
    } else if (error == 0) {
      if (!Unchanged(target)) error = kChangedMeanwhile;
      if (error == 0 &&
          renameat(target.Folder.Get(), tmp.c_str(), target.Folder.Get(), target.Name.c_str()) == 0)
        tmp.clear();
      else if (error == 0)
        error = errno;
    }
  }
  if (!tmp.empty()) unlinkat(target.Folder.Get(), tmp.c_str(), 0);
  if (error != 0) Fail(path, error);
  SyncFolder(target);
}

}  // namespace

std::string TargetFileProblem(const std::string& fileName, const TWriteRules& rules) {
  TWriteTarget target;
  int error = FindTarget(fileName, rules, target);
  if (error == 0) error = WriteTargetError(target);
  return error == 0 ? std::string() : CannotWrite(fileName, error);
}

void WriteFileAtomically(const std::string& path, const std::string& contents,
                         const TWriteRules& rules) {
  WriteFileAtomically(
      path, [&contents](const TContentsSink& sink) { sink(contents.data(), contents.size()); },
      rules);
}

void WriteFileAtomically(const std::string& path, const TContentsProducer& produce,
                         const TWriteRules& rules) {
  TWriteTarget target;
  int error = FindTarget(path, rules, target);
  if (error == 0) error = WriteTargetError(target);
  if (error != 0) Fail(path, error);
  if (target.Kind == TWriteTarget::kInPlace) {
    WriteInPlace(path, target, produce);
  } else {
    MakeOrReplace(path, target, rules, produce);
  }
}

}  // namespace zylisp
