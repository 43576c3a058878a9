// Exports that select device, mode and port and report results.
#include <cstring>
#include <vector>

#include "api/session.h"
#include "api/export_guard.h"
#include "api/selection.h"
#include "devices/device_list.h"
#include "image/hex_list.h"

namespace zylisp {

void ClearDeviceSelection() {
  TSession& s = CurrentSession();
  s.Device = nullptr;
  s.Buffer.reset();
  Record(ZYL_ERR_DEVICE_UNKNOWN);
}

int32_t SelectDevice(const char* name) {
  TSession& s = CurrentSession();
  ClearDeviceSelection();
  const TDevice* device = name ? FindDevice(name) : nullptr;
  if (!device) return ZYL_ERR_DEVICE_UNKNOWN;
  s.Device = device;
  if (device->Size != 0) {
    s.Buffer = std::make_unique<THexList>();
    s.Buffer->SetSize(device->Size);
  }
  return Record(ZYL_OK);
}

int32_t SelectMode(uint8_t mode) {
  if (mode < 1 || mode > 3) return Record(kInvalidValue);
  CurrentSession().Mode = mode;
  return Record(ZYL_OK);
}

int32_t SelectPort(uint8_t port) {
  CurrentSession().Port = port;
  CurrentSession().PortPath.clear();
  return Record(ZYL_OK);
}

}  // namespace zylisp

using namespace zylisp;

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetProgressHandler(ZylProgressHandler handler) {
  CurrentSession().ProgressHandler = handler;
  return ZYL_OK;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetDevice(const char* name) {
  return Guarded<int32_t>(ZYL_ERR_DEVICE_UNKNOWN, [&] { return SelectDevice(name); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetMode(uint8_t mode) { return SelectMode(mode); }

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetPort(uint8_t port) { return SelectPort(port); }

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDevice(int32_t busKind, uint32_t index, char* name) {
  return Guarded<int32_t>(kInvalidValue, [&]() -> int32_t {
    if (busKind < 0 || busKind > 255) return Record(kInvalidValue);
    const std::vector<std::string> names = DeviceNames(static_cast<uint8_t>(busKind));
    if (index >= names.size() || name == nullptr) return Record(kInvalidValue);
    std::memcpy(name, names[index].c_str(), names[index].size() + 1);
    return Record(ZYL_OK);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDeviceCount(int32_t busKind) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    if (busKind < 0 || busKind > 255) return 0;
    return static_cast<int32_t>(DeviceNames(static_cast<uint8_t>(busKind)).size());
  });
}

ZYL_EXPORT const char* ZYL_CALL Zyl_GetLastError(void) { return ResultText(CurrentSession().LastResult); }

}  // extern "C"
