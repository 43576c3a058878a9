#include "argument_vector.h"

#include <unistd.h>

#include <climits>

namespace velkoisp {

std::string ProgramPath(const char* typed) {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n > 0 && static_cast<std::size_t>(n) < sizeof path)
    return std::string(path, static_cast<std::size_t>(n));
  return typed ? typed : "velkoisp";
}

std::vector<std::string> BuildArgumentVector(int argc, const char* const* argv) {
  std::vector<std::string> args;
  args.push_back(ProgramPath(argc > 0 ? argv[0] : nullptr));
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  args.emplace_back();
  return args;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace velkoisp
