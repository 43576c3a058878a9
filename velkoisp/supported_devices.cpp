#include "supported_devices.h"

#include <strings.h>

#include "zylisp.h"

namespace velkoisp {

void GatherSupportedDevices(TRunState& state) {
  Zyl_SetMode(static_cast<uint8_t>(state.Mode));
  for (int32_t group = ZYL_BUS_I2C; group <= ZYL_BUS_MICROWIRE; ++group) {
    const int32_t count = Zyl_GetDeviceCount(group);
    for (int32_t index = 0; index < count; ++index) {
      char name[1000] = {};
      Zyl_GetDevice(group, static_cast<uint32_t>(index), name);
      state.SupportedDevices.push_back({name, group});
    }
  }
}

const TSupportedDevice* FindSupportedDevice(const TRunState& state, const std::string& name) {
  for (const TSupportedDevice& device : state.SupportedDevices)
    if (strcasecmp(device.Name.c_str(), name.c_str()) == 0) return &device;
  return nullptr;
}

}  // namespace velkoisp
