// Exports that list ports, select one by name and hold the connection.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/api_state.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "drivers/shared_values.h"

using namespace zylisp;

namespace {

// Mode, no device, then the port list of the mode.
void PrepareEnumeration(uint8_t mode) {
  Zyl_SetMode(mode);
  Zyl_SetDevice("AT90S1200");
  EnumeratePorts(mode);
}

}  // namespace

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_InitProgrammer(const char* portName, const char* deviceName,
                                               uint8_t mode) {
  return Guarded<int32_t>(1, [&]() -> int32_t {
    TApiState& s = ApiState();
    Zyl_SetDevice(deviceName);
    Zyl_SetMode(mode);
    s.ProgMode = 8;
    try {
      EnumeratePorts(mode);
    } catch (...) {
      // An unusable port list is the same as an empty one.
    }
    const std::string wanted = portName ? portName : "";
    for (int k = 0; k < kPortNameSlots; ++k) {
      if (Shared().PortNames[static_cast<std::size_t>(k)] == wanted) {
        Zyl_SetPort(static_cast<uint8_t>(k + 1));
        s.LastResult = 0;
        return 0;
      }
    }
    s.LastResult = 1;
    return 1;
  });
}

ZYL_EXPORT uint8_t ZYL_CALL Zyl_GetNumPorts(uint8_t mode) {
  return Guarded<uint8_t>(0, [&]() -> uint8_t {
    PrepareEnumeration(mode);
    return static_cast<uint8_t>(Shared().PortCount);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetPort(int32_t index, char* name, uint8_t mode) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    PrepareEnumeration(mode);
    int32_t seen = 0;
    for (const std::string& slot : Shared().PortNames) {
      if (slot.empty()) continue;
      if (seen++ == index) {
        if (name) std::memcpy(name, slot.c_str(), slot.size() + 1);
        if (std::getenv("ZYLISP_DEBUG")) std::fprintf(stderr, "%s\n", slot.c_str());
        break;
      }
    }
    ApiState().LastResult = 0;
    return 0;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Open(void) {
  return Guarded<int32_t>(3, [&]() -> int32_t {
    TApiState& s = ApiState();
    s.KeepOpen = true;
    int32_t result = 0;
    if (!IsReadyForProgrammer()) {
      result = 2;
    } else {
      try {
        // A second open replaces the held connection instead of leaking it.
        if (s.Programmer) CloseConnection();
        OpenConnection();
      } catch (...) {
        result = FailureCode(std::current_exception());
      }
    }
    s.LastResult = result;
    return result;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Close(void) {
  return Guarded<int32_t>(3, [&]() -> int32_t {
    TApiState& s = ApiState();
    if (!s.KeepOpen) return 3;
    int32_t result = 0;
    try {
      CloseConnection();
    } catch (...) {
      result = FailureCode(std::current_exception());
    }
    s.KeepOpen = false;
    s.LastResult = result;
    return result;
  });
}

}  // extern "C"
