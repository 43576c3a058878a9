#include "core/settings_store_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "core/atomic_file.h"
#include "core/errors.h"
#include "core/text_case.h"

namespace zylisp {

namespace {

// A settings file larger than this is not ours: it is refused rather than
// read into memory.
constexpr std::size_t kMaxStoreSize = std::size_t{1} << 20;

std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t");
  return first == std::string::npos ? std::string()
                                    : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Control characters other than tab mean a damaged or binary line.
bool HasControlChar(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
  });
}

std::string ConfigHome() {
  // Relative values are to be ignored, as the XDG convention asks.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  if (const passwd* pw = getpwuid(getuid())) {
    if (pw->pw_dir && pw->pw_dir[0] == '/') return std::string(pw->pw_dir) + "/.config";
  }
  throw ESettingsFileError(
      "Cannot find the settings folder: neither XDG_CONFIG_HOME nor HOME is set");
}

std::vector<std::string> KeyComponents(const std::string& keyPath) {
  std::vector<std::string> parts;
  std::istringstream in(keyPath);
  for (std::string part; std::getline(in, part, '\\');) {
    if (!part.empty()) parts.push_back(part);
  }
  if (!parts.empty() && SameIgnoringCase(parts.front(), "Software")) parts.erase(parts.begin());
  if (parts.empty()) throw ESettingsFileError("Invalid settings key \"" + keyPath + "\"");
  for (const std::string& p : parts) {
    if (p == "." || p == ".." || p.find('/') != std::string::npos || HasControlChar(p))
      throw ESettingsFileError("Invalid settings key \"" + keyPath + "\"");
  }
  return parts;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash);
}

// Why the folder neither exists nor could be made; "" when it is there.
// Folders made for the settings are the caller's alone.
std::string FolderProblem(const std::string& folder) {
  if (folder.empty()) return std::string();
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return std::string();
  const std::string parent = FolderOf(folder);
  if (parent != folder) {
    const std::string problem = FolderProblem(parent);
    if (!problem.empty()) return problem;
  }
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::strerror(errno);
  if (!std::filesystem::is_directory(folder, ec)) return std::strerror(ENOTDIR);
  return std::string();
}

// The settings file holds the caller's own choices: private when made, and
// never written through a link another user planted.
const TWriteRules kSettingsFile{0600, true};

[[noreturn]] void CannotRead(const std::string& path, const std::string& reason) {
  throw ESettingsFileError("cannot read " + path + ": " + reason);
}

// Closes the descriptor on every way out.
struct TDescriptor {
  int fd;
  ~TDescriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::string SettingsFilePath(const std::string& keyPath, bool iniFlag) {
  if (iniFlag) {
    if (keyPath.empty()) throw ESettingsFileError("Invalid settings file name (empty)");
    return keyPath;
  }
  const std::vector<std::string> parts = KeyComponents(keyPath);
  std::string path = ConfigHome();
  for (const std::string& p : parts) path += "/" + p;
  return path + ".ini";
}

std::vector<TStoreEntry> ParseStoreText(const std::string& text) {
  std::vector<TStoreEntry> entries;
  std::string section;
  bool inSection = false;
  // Editors may put a UTF-8 byte order mark before the first section.
  std::size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;

    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (HasControlChar(line)) {
      if (line[0] == '[') inSection = false;
      continue;
    }
    if (line[0] == '[') {
      // A damaged header must not pour its lines into the previous section.
      inSection = line.size() > 2 && line.back() == ']';
      if (inSection) section = Trim(line.substr(1, line.size() - 2));
      if (section.empty() || section.find_first_of("[]") != std::string::npos) inSection = false;
      continue;
    }
    if (!inSection) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string name = Trim(line.substr(0, eq));
    if (name.empty()) continue;
    entries.push_back({section, std::move(name), Trim(line.substr(eq + 1))});
  }
  return entries;
}

std::string FormatStoreText(const std::vector<TStoreEntry>& entries) {
  for (const TStoreEntry& e : entries) {
    const bool badSection = e.Section.empty() || HasControlChar(e.Section) ||
                            e.Section.find_first_of("[]") != std::string::npos ||
                            Trim(e.Section) != e.Section;
    const bool badName = e.Name.empty() || HasControlChar(e.Name) ||
                         e.Name.find('=') != std::string::npos || e.Name[0] == '[' ||
                         e.Name[0] == ';' || e.Name[0] == '#' || Trim(e.Name) != e.Name;
    const bool badValue = HasControlChar(e.Value) || Trim(e.Value) != e.Value;
    if (badSection || badName || badValue)
      throw ESettingsFileError(
          "Cannot store setting \"" + e.Name + "\" of section \"" + e.Section +
          "\": the name or value holds characters the settings file cannot keep");
  }
  // Section names are read ignoring case: names differing only in case are
  // one section, headed as first spelt.
  std::vector<std::string> order;
  for (const TStoreEntry& e : entries) {
    const auto same = [&e](const std::string& s) { return SameIgnoringCase(s, e.Section); };
    if (std::none_of(order.begin(), order.end(), same)) order.push_back(e.Section);
  }
  std::string text;
  for (const std::string& section : order) {
    if (!text.empty()) text += "\n";
    text += "[" + section + "]\n";
    for (const TStoreEntry& e : entries) {
      if (SameIgnoringCase(e.Section, section)) text += e.Name + "=" + e.Value + "\n";
    }
  }
  return text;
}

std::vector<TStoreEntry> ReadStoreFile(const std::string& path, bool createMissing) {
  const TDescriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  // ENOTDIR: a file stands where a folder on the way should be. Either way
  // there is no store, and so nothing in it to lose.
  if (file.fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
    if (createMissing && FolderProblem(FolderOf(path)).empty()) {
      // Made only where nothing stands, not even a dangling link.
      const TDescriptor created{
          open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    }
    return {};
  }
  if (file.fd < 0) CannotRead(path, std::strerror(errno));
  struct stat st {};
  if (fstat(file.fd, &st) != 0) CannotRead(path, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) CannotRead(path, "it is not a regular file");

  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(file.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) CannotRead(path, std::strerror(errno));
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxStoreSize)
      CannotRead(path, "it is larger than 1 MiB, not a settings file");
  }
  return ParseStoreText(text);
}

void WriteStoreFile(const std::string& path, const std::vector<TStoreEntry>& entries,
                    bool createFolders) {
  const std::string text = FormatStoreText(entries);
  if (createFolders) {
    const std::string problem = FolderProblem(FolderOf(path));
    if (!problem.empty()) throw ESettingsFileError("cannot write " + path + ": " + problem);
  }
  try {
    WriteFileAtomically(path, text, kSettingsFile);
  } catch (const EISPException& e) {
    throw ESettingsFileError(e.Message());
  }
}

TStoreLock::TStoreLock(const std::string& path, bool createFolders) {
  const std::string lockPath = path + ".lock";
  // Where the lock file cannot be made, neither can the settings file be
  // written: the write that follows then fails and names its own cause.
  if (createFolders && !FolderProblem(FolderOf(path)).empty()) return;
  fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ENOENT ||
        errno == ENOTDIR)
      return;
    throw ESettingsFileError("cannot lock " + lockPath + ": " + std::strerror(errno));
  }
  while (flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    close(fd_);
    fd_ = -1;
    throw ESettingsFileError("cannot lock " + lockPath + ": " + std::strerror(error));
  }
}

TStoreLock::~TStoreLock() {
  // Closing the descriptor releases the lock.
  if (fd_ >= 0) close(fd_);
}

}  // namespace zylisp
