#include "devices/device_list.h"

#include "core/text_case.h"

namespace zylisp {

const TDevice* FindDevice(const std::string& name) {
  const std::string wanted = UpperCase(name);
  for (const TDevice& d : DeviceCatalogue()) {
    if (UpperCase(d.Name) == wanted) return &d;
  }
  return nullptr;
}

std::vector<std::string> DeviceNames(uint8_t busType) {
  std::vector<std::string> names;
  for (const TDevice& d : DeviceCatalogue()) {
    if (d.BusType == busType) names.push_back(d.Name);
  }
  return names;
}

}  // namespace zylisp
