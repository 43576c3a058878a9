#include "api/session.h"

#include "devices/device.h"
#include "devices/part_table.h"
#include "drivers/isp_programmer.h"
#include "image/hex_list.h"
#include "core/stop_request.h"
#include "ports/lpt_access.h"

namespace zylisp {

namespace {

// The session the calling thread's export works on; null for the default.
thread_local TSession* g_bound = nullptr;

}  // namespace

TSession::TSession() = default;
TSession::~TSession() = default;

bool TSession::StopRequested() const {
  return StopAsked.load(std::memory_order_relaxed) || StopRequestedSince(StopEpoch);
}

void TSession::Forward(int32_t done, int32_t total) {
  LastDone = done;
  LastTotal = total;
  if (ProgressHandler) ProgressHandler(done, total);
  if (SessionHandler) SessionHandler(ProgressUser, Stage, done, total);
}

TSession& DefaultSession() {
  // Never destroyed: the unload hook frees what must be freed, and exports
  // may still run from other static destructors.
  static TSession* session = [] {
    auto* made = new TSession;
    made->IsDefault = true;
    return made;
  }();
  return *session;
}

TSession& CurrentSession() { return g_bound ? *g_bound : DefaultSession(); }

TSessionScope::TSessionScope(TSession& session) : previous_(g_bound) { g_bound = &session; }

TSessionScope::~TSessionScope() { g_bound = previous_; }

bool IsReady() {
  const TSession& s = CurrentSession();
  return s.Device != nullptr && s.Mode != 0 && s.Port != 0;
}

int32_t Record(int32_t code) {
  CurrentSession().LastResult = code;
  return code;
}

uint8_t FixedOrganisation(const TDevice* device) {
  if (!device || !device->Part) return 0;
  if (device->Part->Organisation == EMicrowireOrg::Fixed8) return 8;
  if (device->Part->Organisation == EMicrowireOrg::Fixed16) return 16;
  return 0;
}

uint8_t ConnectionOrganisation(const TSession& s) {
  const uint8_t fixed = FixedOrganisation(s.Device);
  return fixed != 0 ? fixed : s.ProgMode;
}

uint8_t DeviceWriteTime(const TDevice& device) {
  const auto& times = CurrentSession().WriteTimes;
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
  TSession& s = CurrentSession();
  s.DetailCode = code;
  s.ErrorDetail = std::move(detail);
}

const char* ErrorDetail() {
  const TSession& s = CurrentSession();
  return s.LastResult != 0 && s.LastResult == s.DetailCode ? s.ErrorDetail.c_str() : "";
}

void ResetSession() {
  TSession& s = CurrentSession();
  s.Device = nullptr;
  s.Buffer.reset();
  s.Mode = 0;
  s.Port = 0;
  s.PortPath.clear();
  s.LastResult = 0;
  s.ProgressHandler = nullptr;
  s.KeepOpen = false;
  s.ProgMode = 0;
  s.ResetPolarity = 0;
  s.IgnoreChecksums = false;
  SetErrorDetail(0, {});
}

}  // namespace zylisp
