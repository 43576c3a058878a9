#include "core/target_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zylisp {

namespace {

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

int ReadLink(const std::string& link, std::string& to) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) < buffer.size()) {
      to.assign(buffer.data(), static_cast<std::size_t>(n));
      return 0;
    }
    buffer.resize(buffer.size() * 2);
  }
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

}  // namespace

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
    return 0;
  }
  target.Mode = st.st_mode;
  target.Owner = st.st_uid;
  target.Group = st.st_gid;
  // A name that does not lead to the file the kernel opens is a descriptor
  // link (/dev/stdout, /proc/self/fd/N): only the open file is the target.
  struct stat last {};
  const bool sameFile = lstat(target.Name.c_str(), &last) == 0 && last.st_dev == st.st_dev &&
                        last.st_ino == st.st_ino;
  if (!S_ISREG(st.st_mode) || !sameFile) {
    target.Kind = TWriteTarget::kInPlace;
    target.Name = fileName;
    return 0;
  }
  target.Kind = TWriteTarget::kRegularFile;
  return 0;
}

int WriteTargetError(const TWriteTarget& target) {
  switch (target.Kind) {
    case TWriteTarget::kInPlace:
      if (S_ISSOCK(target.Mode)) return ENXIO;  // a socket cannot be opened
      return Accessible(target.Name, W_OK);
    case TWriteTarget::kRegularFile:
      if (const int error = Accessible(target.Name, W_OK)) return error;
      return FolderError(target);
    case TWriteTarget::kNewFile:
      return FolderError(target);
  }
  return EINVAL;
}

std::string CannotWrite(const std::string& fileName, int error) {
  return "cannot write " + fileName + ": " + std::strerror(error);
}

std::string TargetFileProblem(const std::string& fileName) {
  TWriteTarget target;
  int error = FindWriteTarget(fileName, target);
  if (error == 0) error = WriteTargetError(target);
  return error == 0 ? std::string() : CannotWrite(fileName, error);
}

}  // namespace zylisp
