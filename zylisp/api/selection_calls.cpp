// Exports that select device, mode and port and report results.
#include <cstring>
#include <vector>

#include "api/api_state.h"
#include "api/export_guard.h"
#include "devices/device_list.h"
#include "image/hex_list.h"

using namespace zylisp;

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetProgressHandler(ZylProgressHandler handler) {
  ApiState().ProgressHandler = handler;
  return 0;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetDevice(const char* name) {
  return Guarded<int32_t>(8, [&]() -> int32_t {
    TApiState& s = ApiState();
    s.Device = nullptr;
    s.Buffer.reset();
    TDevice* device = name ? DeviceCatalogue().FindDevice(name, FamilyIsp) : nullptr;
    if (!device) {
      s.LastResult = 8;
      return 8;
    }
    s.Device = device;
    if (device->Size() != 0) {
      s.Buffer = std::make_unique<THexList>();
      s.Buffer->SetSize(device->Size());
    }
    s.LastResult = 0;
    return 0;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetMode(uint8_t mode) {
  TApiState& s = ApiState();
  const int32_t result = (mode >= 1 && mode <= 3) ? 0 : 1;
  if (result == 0) s.Mode = mode;
  s.LastResult = result;
  return result;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetPort(uint8_t port) {
  ApiState().Port = port;
  ApiState().LastResult = 0;
  return 0;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDevice(int32_t busKind, uint32_t index, char* name) {
  return Guarded<int32_t>(1, [&]() -> int32_t {
    int32_t result = 1;
    if (busKind >= 0 && busKind <= 255) {
      const std::vector<std::string> names =
          DeviceCatalogue().DeviceNames(FamilyIsp, static_cast<uint8_t>(busKind));
      if (index < names.size() && name != nullptr) {
        std::memcpy(name, names[index].c_str(), names[index].size() + 1);
        result = 0;
      }
    }
    ApiState().LastResult = result;
    return result;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDeviceCount(int32_t busKind) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    if (busKind < 0 || busKind > 255) return 0;
    return static_cast<int32_t>(
        DeviceCatalogue().DeviceNames(FamilyIsp, static_cast<uint8_t>(busKind)).size());
  });
}

ZYL_EXPORT const char* ZYL_CALL Zyl_GetLastError(void) { return ResultText(ApiState().LastResult); }

}  // extern "C"
