#include "updater_file.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace velkoisp {

// The library's FindUpdater rule (not exported): any case, a regular file, joined with '/'.
bool FolderHasUpdater(const std::string& folder) {
  const std::string dirPath = folder.empty() ? "." : folder;
  DIR* dir = opendir(dirPath.c_str());
  if (!dir) return false;
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, kUpdaterName) != 0) continue;
    std::string path = dirPath;
    if (path.back() != '/') path += '/';
    path += entry->d_name;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace velkoisp
