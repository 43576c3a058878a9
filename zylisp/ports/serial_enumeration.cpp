#include "ports/serial_enumeration.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "core/text_case.h"
#include "ports/serial_error.h"

namespace zylisp {

namespace {

bool AllDigits(const std::string& s) {
  return !s.empty() && s.size() <= 9 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number after prefix in name, or -1 when name is not prefix + digits.
long NumberAfter(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return -1;
  const std::string rest = name.substr(prefix.size());
  return AllDigits(rest) ? std::strtol(rest.c_str(), nullptr, 10) : -1;
}

bool HasUart(const std::string& sysTtyDir, const std::string& name) {
  const std::string base = sysTtyDir + "/" + name;
  DIR* device = opendir((base + "/device").c_str());
  if (!device) return false;
  closedir(device);
  std::ifstream typeFile(base + "/type");
  long type = 0;
  // The kernel lists placeholder ports with type 0 (no UART found).
  return static_cast<bool>(typeFile >> type) && type != 0;
}

}  // namespace

std::vector<std::string> ScanSerialDevices(const std::string& devDir,
                                           const std::string& sysTtyDir) {
  static const char* const kGroups[] = {"ttyS", "ttyUSB", "ttyACM"};
  std::vector<std::pair<long, std::string>> found[3];
  if (DIR* dir = opendir(devDir.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      for (int g = 0; g < 3; ++g) {
        const long number = NumberAfter(name, kGroups[g]);
        if (number < 0) continue;
        if (g == 0 && !HasUart(sysTtyDir, name)) continue;
        found[g].emplace_back(number, name);
      }
    }
    closedir(dir);
  }
  std::vector<std::string> paths;
  for (auto& group : found) {
    std::sort(group.begin(), group.end());
    for (const auto& entry : group) paths.push_back(devDir + "/" + entry.second);
  }
  return paths;
}

std::vector<std::string> SerialDevicePaths() {
  const char* configured = std::getenv("ZYLISP_SERIAL_PORTS");
  if (!configured) return ScanSerialDevices("/dev", "/sys/class/tty");
  std::vector<std::string> paths;
  std::istringstream list(configured);
  for (std::string path; std::getline(list, path, ':');) {
    if (!path.empty()) paths.push_back(path);
  }
  return paths;
}

std::string SerialDevicePath(const std::string& comName) {
  std::string name = comName;
  if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
  const long number = NumberAfter(UpperCase(name), "COM");
  if (number < 1)
    throw ESerialError(ENODEV, "\"" + comName + "\" is not a serial port name (COM1, COM2, ...)");
  const std::vector<std::string> paths = SerialDevicePaths();
  if (static_cast<std::size_t>(number) > paths.size())
    throw ESerialError(ENODEV, "Serial port " + name + " does not exist (" +
                                   std::to_string(paths.size()) + " serial ports found)");
  return paths[static_cast<std::size_t>(number - 1)];
}

}  // namespace zylisp
