#include "api/firmware_updater.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace zylisp {

std::string FindUpdater(const std::string& folder) {
  const std::string dirPath = folder.empty() ? "." : folder;
  DIR* dir = opendir(dirPath.c_str());
  if (!dir) return {};
  std::string found;
  while (const dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, kUpdaterName) != 0) continue;
    std::string path = dirPath;
    if (path.back() != '/') path += '/';
    path += entry->d_name;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      found = path;
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
