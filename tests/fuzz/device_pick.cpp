#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "zylisp.h"

namespace fuzz {

const std::vector<std::string>& DeviceNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (int32_t bus = ZYL_BUS_I2C; bus <= ZYL_BUS_MICROWIRE; ++bus) {
      for (uint32_t i = 0; i < static_cast<uint32_t>(Zyl_GetDeviceCount(bus)); ++i) {
        char name[ZYL_DEVICE_NAME_SIZE] = {};
        if (Zyl_GetDevice(bus, i, name) == 0) all.emplace_back(name);
      }
    }
    Require(!all.empty(), "the catalogue lists devices");
    return all;
  }();
  return names;
}

const std::string& PickDevice(uint8_t pick) { return DeviceNames()[pick % DeviceNames().size()]; }

}  // namespace fuzz
