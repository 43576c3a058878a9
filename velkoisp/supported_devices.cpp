#include "supported_devices.h"

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

bool IsKnownDevice(const std::string& name) {
  return Zyl_GetDeviceInfo(name.c_str(), nullptr, nullptr, nullptr) == ZYL_OK;
}

}  // namespace velkoisp
