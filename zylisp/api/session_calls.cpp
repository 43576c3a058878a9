// The session exports: each binds its session to the calling thread and
// runs the same calls below the exports that the classic calls run on the
// default session.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api/chip_operations.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "api/image_files.h"
#include "api/lpt_backend_choice.h"
#include "api/port_list.h"
#include "api/selection.h"
#include "api/session.h"
#include "core/errors.h"
#include "devices/device.h"
#include "drivers/isp_programmer.h"
#include "image/hex_list.h"

struct ZylSession {
  zylisp::TSession State;
};

using namespace zylisp;

namespace {

// Runs body on the session and keeps the code it returns as the session's
// last result.
template <typename Body>
int32_t InSession(ZylSession* session, Body&& body) {
  if (!session) return kInvalidValue;
  const TSessionScope scope(session->State);
  const int32_t code = Guarded<int32_t>(ZYL_ERR_HARDWARE, std::forward<Body>(body));
  session->State.LastResult = code;
  return code;
}

// A held connection ends before the selection it was made for changes.
int32_t CloseHeld() {
  TSession& s = CurrentSession();
  int32_t result = ZYL_OK;
  if (s.Programmer) {
    try {
      CloseConnection();
    } catch (...) {
      result = FailureCode(std::current_exception());
    }
  }
  s.KeepOpen = false;
  return result;
}

// Opens a connection to hold, in place of one held before; a failed open
// leaves none.
int32_t OpenHeld() {
  CloseHeld();
  CurrentSession().KeepOpen = true;
  try {
    OpenConnection();
  } catch (...) {
    const int32_t code = FailureCode(std::current_exception());
    CloseHeld();
    return code;
  }
  return ZYL_OK;
}

std::vector<TPortInfo> ScanPorts(int32_t kind) {
  std::vector<TPortInfo> ports;
  if (kind == 0 || kind == ZYL_MODE_SERIAL) ports = ScanSerialPorts();
  if (kind == 0 || kind == ZYL_MODE_PARALLEL) {
    for (TPortInfo& port : ListParallelPorts()) ports.push_back(std::move(port));
  }
  return ports;
}

int32_t Refused(int32_t code, std::string detail) {
  SetErrorDetail(code, std::move(detail));
  return code;
}

// Checks an image range: ZYL_OK, or the code to give.
int32_t ImageRange(int32_t offset, int32_t length, const void* buffer) {
  const TSession& s = CurrentSession();
  if (!s.Device || !s.Buffer) return ZYL_ERR_NOT_READY;
  if (!buffer || length < 0) return kInvalidValue;
  if (offset < 0 || offset > s.Buffer->Size() || length > s.Buffer->Size() - offset)
    return Refused(ZYL_ERR_OUTSIDE_BUFFER,
                   std::to_string(length) + " bytes at " + std::to_string(offset) +
                       " do not lie inside the image of " + std::to_string(s.Buffer->Size()) +
                       " bytes");
  return ZYL_OK;
}

// A setting the next open and a held connection both take.
template <typename Apply>
int32_t Setting(ZylSession* session, Apply&& apply) {
  return InSession(session, [&] {
    TSession& s = CurrentSession();
    apply(s);
    return ZYL_OK;
  });
}

}  // namespace

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_ListPorts(int32_t kind, ZylPortInfo* list, int32_t capacity,
                                          int32_t* count) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    if (!count || capacity < 0 || (capacity > 0 && !list)) return kInvalidValue;
    if (kind != 0 && kind != ZYL_MODE_SERIAL && kind != ZYL_MODE_PARALLEL) return kInvalidValue;
    const std::vector<TPortInfo> ports = ScanPorts(kind);
    const std::size_t n = std::min(ports.size(), static_cast<std::size_t>(capacity));
    for (std::size_t i = 0; i < n; ++i) {
      ZylPortInfo& out = list[i];
      std::memset(&out, 0, sizeof out);
      ports[i].Name.copy(out.name, sizeof out.name - 1);
      ports[i].Path.copy(out.path, sizeof out.path - 1);
      out.kind = ports[i].Kind;
    }
    *count = static_cast<int32_t>(ports.size());
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionCreate(ZylSession** session) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    if (!session) return kInvalidValue;
    auto* made = new ZylSession;
    // Microwire parts start in 8-bit organisation, as a classic connection does.
    made->State.ProgMode = 8;
    *session = made;
    return ZYL_OK;
  });
}

ZYL_EXPORT void ZYL_CALL Zyl_SessionDestroy(ZylSession* session) {
  if (!session) return;
  InSession(session, [] { return CloseHeld(); });
  delete session;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetDevice(ZylSession* session, const char* deviceName) {
  return InSession(session, [&] {
    CloseHeld();
    return SelectDevice(deviceName);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetPort(ZylSession* session, const char* portName) {
  return InSession(session, [&]() -> int32_t {
    CloseHeld();
    TSession& s = CurrentSession();
    const std::string wanted = portName ? portName : "";
    const bool path = !wanted.empty() && wanted[0] == '/';
    const std::vector<TPortInfo> ports = ScanPorts(0);
    for (const TPortInfo& port : ports) {
      if (!(path ? port.Path == wanted : strcasecmp(port.Name.c_str(), wanted.c_str()) == 0))
        continue;
      s.Mode = port.Kind;
      s.Port = port.Number;
      s.PortPath = port.Path;
      return ZYL_OK;
    }
    if (path) {
      // A serial device the scan does not list is taken as it is named.
      s.Mode = ZYL_MODE_SERIAL;
      s.Port = 1;
      s.PortPath = wanted;
      return ZYL_OK;
    }
    std::string there;
    for (const TPortInfo& port : ports)
      there += (there.empty() ? "" : ", ") +
               (port.Path.empty() ? port.Name : port.Name + " (" + port.Path + ")");
    return Refused(ZYL_ERR_PORT, "there is no port " + wanted + " here; " +
                                     (there.empty() ? "no port was found" : "the ports are " + there));
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetProgressHandler(ZylSession* session,
                                                          ZylSessionProgressHandler handler,
                                                          void* user) {
  return Setting(session, [&](TSession& s) {
    s.SessionHandler = handler;
    s.ProgressUser = user;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionOpen(ZylSession* session) {
  return InSession(session, [&]() -> int32_t {
    if (!IsReadyForProgrammer()) return ZYL_ERR_NOT_READY;
    return OpenHeld();
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionClose(ZylSession* session) {
  return InSession(session, [] { return CloseHeld(); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetFirmwareVersion(ZylSession* session, char* text,
                                                          int32_t size) {
  return InSession(session, [&]() -> int32_t {
    if (!text || size < 1) return kInvalidValue;
    int32_t reached = ZYL_OK;
    const std::string version = FirmwareVersion(&reached);
    if (reached != ZYL_OK) return reached;
    if (version.size() >= static_cast<std::size_t>(size)) return kInvalidValue;
    std::memcpy(text, version.c_str(), version.size() + 1);
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionErase(ZylSession* session) {
  return InSession(session, [] { return EraseChip(); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionProgram(ZylSession* session) {
  return InSession(session, [] { return ProgramImage(nullptr); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionVerify(ZylSession* session) {
  return InSession(session, [] { return VerifyImage(nullptr); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionRead(ZylSession* session) {
  return InSession(session, [] { return ReadIntoImage(nullptr, 0); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionBlankCheck(ZylSession* session) {
  return InSession(session, [] { return BlankCheckChip(); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetStatus(ZylSession* session, uint8_t* status) {
  return InSession(session, [&] { return ReadStatusByte(status); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetStatus(ZylSession* session, uint8_t value) {
  return InSession(session, [&]() -> int32_t {
    const TDevice* device = CurrentSession().Device;
    if (device && device->BusType == kBusMicrowire) return ZYL_ERR_NOT_SUPPORTED;
    return WriteStatusValue(value);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionWriteAll(ZylSession* session, uint8_t value) {
  return InSession(session, [&]() -> int32_t {
    const TDevice* device = CurrentSession().Device;
    if (device && device->BusType != kBusMicrowire) return ZYL_ERR_NOT_SUPPORTED;
    return WriteStatusValue(value);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetPageSize(ZylSession* session, int32_t size) {
  return InSession(session, [&]() -> int32_t {
    TSession& s = CurrentSession();
    const int32_t own = s.Device ? s.Device->PageSize : 0;
    const int32_t result = SetPageSize(size == 0 && own > 0 ? own : size);
    if (result == ZYL_OK) s.PageSize = size;
    return result;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetBusAddress(ZylSession* session, uint8_t address) {
  return Setting(session, [&](TSession& s) {
    s.BusAddress = address;
    if (s.Programmer) s.Programmer->Params().BusAddress = address;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetWriteTime(ZylSession* session, uint8_t time) {
  return Setting(session, [&](TSession& s) {
    s.WriteTime = time;
    if (s.Programmer && time != 0) s.Programmer->Params().WriteTime = time;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetSpeed(ZylSession* session, uint8_t speed) {
  return InSession(session, [&]() -> int32_t {
    TSession& s = CurrentSession();
    s.Speed = speed;
    // The adapter takes its clock when it connects.
    return s.Programmer ? OpenHeld() : ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetSerialWindow(ZylSession* session, int32_t bytes) {
  return InSession(session, [&]() -> int32_t {
    if (bytes < 0 || bytes > static_cast<int32_t>(kMaxSerialWindow))
      return Refused(kInvalidValue, "a window of " + std::to_string(bytes) +
                                        " bytes is not valid: give 0 (each command waits for "
                                        "its acknowledge) to " +
                                        std::to_string(kMaxSerialWindow));
    TSession& s = CurrentSession();
    s.SerialWindow = bytes;
    if (s.Programmer) s.Programmer->Params().SerialWindow = static_cast<std::size_t>(bytes);
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetSerialWindow(ZylSession* session, int32_t* bytes) {
  return InSession(session, [&]() -> int32_t {
    if (!bytes) return kInvalidValue;
    try {
      *bytes = static_cast<int32_t>(SessionSerialWindow());
    } catch (...) {
      return FailureCode(std::current_exception());
    }
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionDetect(ZylSession* session, ZylDetection* found) {
  return InSession(session, [&] { return Zyl_Detect(found); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionUnprotect(ZylSession* session) {
  return InSession(session, [] { return Zyl_Unprotect(); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetOrganisation(ZylSession* session, uint8_t bits) {
  return InSession(session, [&]() -> int32_t {
    if (bits != 8 && bits != 16)
      return Refused(kInvalidValue, "organisation " + std::to_string(bits) +
                                        " is not valid: Microwire parts hold 8 or 16 bits per "
                                        "location");
    const TDevice* device = CurrentSession().Device;
    const uint8_t fixed = FixedOrganisation(device);
    if (fixed != 0 && fixed != bits)
      return Refused(kInvalidValue, "organisation " + std::to_string(bits) + " does not fit the " +
                                        device->Name + ", which holds " + std::to_string(fixed) +
                                        " bits per location");
    CurrentSession().ProgMode = bits;
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetResetPolarity(ZylSession* session, uint8_t polarity) {
  return Setting(session, [&](TSession& s) { s.ResetPolarity = polarity; });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetIgnoreChecksums(ZylSession* session, uint8_t ignore) {
  return Setting(session, [&](TSession& s) { s.IgnoreChecksums = ignore != 0; });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionLoadFile(ZylSession* session, const char* fileName) {
  return InSession(session, [&]() -> int32_t {
    TSession& s = CurrentSession();
    if (!s.Device || !s.Buffer) return ZYL_ERR_NOT_READY;
    if (!fileName) return Refused(ZYL_ERR_FILE, "no file name given");
    // The image changes only when the whole file loads (or loads up to a
    // record beyond the device); the loader makes the new image aside, so
    // the old one needs no copy. A file refused unread blanks it, as a load
    // into a blank image would.
    bool replaced = false;
    const int32_t loaded = LoadFileIntoImage(fileName, &replaced);
    if (loaded == ZYL_ERR_FILE_TOO_LARGE && !replaced) s.Buffer->Clear();
    return loaded;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSaveFile(ZylSession* session, const char* fileName,
                                                uint8_t format) {
  return InSession(session, [&]() -> int32_t {
    if (!CurrentSession().Buffer) return ZYL_ERR_NOT_READY;
    return SaveImageToFile(fileName, format);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionCheckFile(ZylSession* session, const char* fileName,
                                                 uint8_t forWriting) {
  return InSession(session, [&] { return CheckFile(fileName, forWriting != 0, true); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetImageSize(ZylSession* session, int32_t* size) {
  return InSession(session, [&]() -> int32_t {
    if (!size) return kInvalidValue;
    const TSession& s = CurrentSession();
    *size = s.Buffer ? s.Buffer->Size() : 0;
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionReadImage(ZylSession* session, int32_t offset,
                                                 uint8_t* buffer, int32_t length) {
  return InSession(session, [&]() -> int32_t {
    if (const int32_t refused = ImageRange(offset, length, buffer)) return refused;
    std::memcpy(buffer, CurrentSession().Buffer->Data() + offset, static_cast<std::size_t>(length));
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionWriteImage(ZylSession* session, int32_t offset,
                                                  const uint8_t* buffer, int32_t length) {
  return InSession(session, [&]() -> int32_t {
    if (const int32_t refused = ImageRange(offset, length, buffer)) return refused;
    THexList& image = *CurrentSession().Buffer;
    for (int32_t i = 0; i < length; ++i)
      image.SetValue(static_cast<uint32_t>(offset + i), buffer[i]);
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionClearImage(ZylSession* session) {
  return InSession(session, []() -> int32_t {
    TSession& s = CurrentSession();
    if (!s.Buffer) return ZYL_ERR_NOT_READY;
    s.Buffer->Clear();
    return ZYL_OK;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetDifferences(ZylSession* session, ZylDifference* list,
                                                      int32_t capacity, int32_t* count) {
  if (!session || !count || capacity < 0 || (capacity > 0 && !list)) return kInvalidValue;
  const THexList* image = session->State.Buffer.get();
  static const std::vector<TByteDifference> kNone;
  const std::vector<TByteDifference>& found = image ? image->Differences() : kNone;
  const std::size_t n = std::min(found.size(), static_cast<std::size_t>(capacity));
  for (std::size_t i = 0; i < n; ++i)
    list[i] = {static_cast<int32_t>(found[i].Address), found[i].Chip, found[i].Image};
  *count = static_cast<int32_t>(found.size());
  return ZYL_OK;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetResult(ZylSession* session) {
  return session ? session->State.LastResult : kInvalidValue;
}

ZYL_EXPORT const char* ZYL_CALL Zyl_SessionGetResultText(ZylSession* session) {
  return session ? ResultText(session->State.LastResult) : "";
}

ZYL_EXPORT const char* ZYL_CALL Zyl_SessionGetErrorDetail(ZylSession* session) {
  if (!session) return "";
  const TSessionScope scope(session->State);
  return ErrorDetail();
}

ZYL_EXPORT void ZYL_CALL Zyl_SessionRequestStop(ZylSession* session) {
  if (session) session->State.StopAsked.store(true, std::memory_order_relaxed);
}

}  // extern "C"
