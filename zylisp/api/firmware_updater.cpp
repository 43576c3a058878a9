#include "api/firmware_updater.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zylisp {

namespace {

constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;

bool TrustedOwner(uid_t owner) { return owner == 0 || owner == geteuid(); }

}  // namespace

TUpdaterLookup FindUpdater(const std::string& folder) {
  if (folder.empty()) return {{}, "the updater needs the folder that holds it"};
  struct stat where {};
  if (stat(folder.c_str(), &where) != 0 || !S_ISDIR(where.st_mode))
    return {{}, "there is no folder " + folder};
  if (where.st_mode & kWritableByOthers)
    return {{}, "the folder " + folder + " may be written by others: its updater is not run"};
  DIR* dir = opendir(folder.c_str());
  if (!dir) return {{}, "the folder " + folder + " cannot be read"};
  TUpdaterLookup found{{}, "the folder " + folder + " holds no " + kUpdaterName};
  while (const dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, kUpdaterName) != 0) continue;
    std::string path = folder;
    if (path.back() != '/') path += '/';
    path += entry->d_name;
    // The name itself, not what a link in its place points to.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      found.Problem = path + " is not a regular file";
    } else if (!TrustedOwner(st.st_uid)) {
      found.Problem = path + " belongs to another user: it is not run";
    } else if (st.st_mode & kWritableByOthers) {
      found.Problem = path + " may be written by others: it is not run";
    } else {
      found = {path, {}};
      break;
    }
  }
  closedir(dir);
  return found;
}

std::chrono::milliseconds& UpdaterTimeLimit() {
  static std::chrono::milliseconds limit = std::chrono::minutes(5);
  return limit;
}

}  // namespace zylisp
