// Exports that list ports, select one by name and hold the connection.
#include <cstring>
#include <string>

#include "api/session.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "api/selection.h"
#include "core/debug_output.h"

using namespace zylisp;

namespace {

// Mode, no device, then the port list of the mode.
void PrepareEnumeration(uint8_t mode) {
  SelectMode(mode);
  ClearDeviceSelection();
  EnumeratePorts(mode);
}

// Names the port that is not there and the ones that are.
std::string MissingPortDetail(const std::string& wanted, uint8_t mode) {
  const bool serial = mode == ZYL_MODE_SERIAL;
  std::string there;
  // The slots may still hold names of the other kind from earlier lists.
  const int32_t portKind = serial ? ZYL_MODE_SERIAL : ZYL_MODE_PARALLEL;
  for (const TPortInfo& slot : CurrentSession().Ports) {
    if (slot.Name.empty() || slot.Kind != portKind) continue;
    const std::string entry = slot.Path.empty() ? slot.Name : slot.Name + " (" + slot.Path + ")";
    there += (there.empty() ? "" : ", ") + entry;
  }
  const std::string kind = serial ? "serial" : mode == ZYL_MODE_PARALLEL ? "parallel" : "";
  std::string detail = "there is no port " + wanted + " here; ";
  if (there.empty()) return detail + "no " + kind + (kind.empty() ? "" : " ") + "port was found";
  return detail + "the " + kind + (kind.empty() ? "" : " ") + "ports are " + there;
}

}  // namespace

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_InitProgrammer(const char* portName, const char* deviceName,
                                               uint8_t mode) {
  return Guarded<int32_t>(kInvalidValue, [&]() -> int32_t {
    TSession& s = CurrentSession();
    SelectDevice(deviceName);
    SelectMode(mode);
    s.ProgMode = 8;
    try {
      EnumeratePorts(mode);
    } catch (...) {
      // An unusable port list is the same as an empty one.
    }
    const std::string wanted = portName ? portName : "";
    for (int k = 0; k < kPortNameSlots; ++k) {
      if (s.Ports[static_cast<std::size_t>(k)].Name == wanted)
        return SelectPort(static_cast<uint8_t>(k + 1));
    }
    Record(kInvalidValue);
    SetErrorDetail(kInvalidValue, MissingPortDetail(wanted, mode));
    return kInvalidValue;
  });
}

ZYL_EXPORT uint8_t ZYL_CALL Zyl_GetNumPorts(uint8_t mode) {
  return Guarded<uint8_t>(0, [&]() -> uint8_t {
    PrepareEnumeration(mode);
    return static_cast<uint8_t>(CurrentSession().PortCount);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetPort(int32_t index, char* name, uint8_t mode) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    PrepareEnumeration(mode);
    int32_t seen = 0;
    for (const TPortInfo& slot : CurrentSession().Ports) {
      if (slot.Name.empty()) continue;
      if (seen++ == index) {
        if (name) std::memcpy(name, slot.Name.c_str(), slot.Name.size() + 1);
        DebugOutput(slot.Name);
        break;
      }
    }
    return Record(ZYL_OK);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Open(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    TSession& s = CurrentSession();
    s.KeepOpen = true;
    if (!IsReadyForProgrammer()) return Record(ZYL_ERR_NOT_READY);
    try {
      // A second open replaces the held connection instead of leaking it.
      if (s.Programmer) CloseConnection();
      OpenConnection();
    } catch (...) {
      return Record(FailureCode(std::current_exception()));
    }
    return Record(ZYL_OK);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Close(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    TSession& s = CurrentSession();
    if (!s.KeepOpen) return ZYL_ERR_HARDWARE;  // not recorded
    int32_t result = ZYL_OK;
    try {
      CloseConnection();
    } catch (...) {
      result = FailureCode(std::current_exception());
    }
    s.KeepOpen = false;
    return Record(result);
  });
}

}  // extern "C"
