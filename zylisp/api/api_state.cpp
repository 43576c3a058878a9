#include "api/api_state.h"

#include "devices/device.h"
#include "drivers/isp_programmer.h"
#include "image/hex_list.h"
#include "ports/lpt_access.h"

namespace zylisp {

TApiState::TApiState() = default;
TApiState::~TApiState() = default;

TApiState& ApiState() {
  // Never destroyed: the unload hook frees what must be freed, and exports
  // may still run from other static destructors.
  static TApiState* state = new TApiState;
  return *state;
}

bool IsReady() {
  const TApiState& s = ApiState();
  return s.Device != nullptr && s.Mode != 0 && s.Port != 0;
}

int32_t Record(int32_t code) {
  ApiState().LastResult = code;
  return code;
}

uint8_t DeviceWriteTime(const TDevice& device) {
  const auto& times = ApiState().WriteTimes;
  const auto found = times.find(&device);
  return found != times.end() ? found->second : device.WriteTime;
}

const char* ResultText(int32_t code) {
  static const char* const kTexts[] = {
      "Operation Successful",
      "Invalid File type or File not found, access denied etc.",
      "Device, port or mode need to be set prior to calling this routine",
      "Hardware not responding, check connections and port settings",
      "Invalid port or Port already in use",
      "eeprom area not available on specified device.",
      "File was larger than device data area buffer contains parial file",
      "attempted to read outside buffer limits",
      "device not supported or recognises",
      "device not responding to programming command",
      "verify failure",
      "funtion not supported on device",
      "Firmware update is required for the DLL to work with this programmer",
      "",
      "",
      "",
      "",
      "Port in use or not available",
      "Operation cancelled",
      "device write-protected by its status register",
  };
  if (code < 0 || code > ZYL_ERR_WRITE_PROTECTED) return "";
  return kTexts[code];
}

void SetErrorDetail(int32_t code, std::string detail) {
  TApiState& s = ApiState();
  s.DetailCode = code;
  s.ErrorDetail = std::move(detail);
}

const char* ErrorDetail() {
  const TApiState& s = ApiState();
  return s.LastResult != 0 && s.LastResult == s.DetailCode ? s.ErrorDetail.c_str() : "";
}

void ResetApiState() {
  TApiState& s = ApiState();
  s.Device = nullptr;
  s.Buffer.reset();
  s.Mode = 0;
  s.Port = 0;
  s.LastResult = 0;
  s.ProgressHandler = nullptr;
  s.KeepOpen = false;
  s.ProgMode = 0;
  s.ResetPolarity = 0;
  s.IgnoreChecksums = false;
  SetErrorDetail(0, {});
}

}  // namespace zylisp
