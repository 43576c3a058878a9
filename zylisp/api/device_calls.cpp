// Exports that act on the chip through the driver, and the setters of the
// values the drivers use.
#include "api/api_state.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "core/errors.h"
#include "core/isp_settings.h"
#include "core/stop_request.h"
#include "devices/device.h"
#include "drivers/isp_programmer.h"
#include "drivers/shared_values.h"
#include "image/file_loader.h"
#include "image/hex_list.h"

using namespace zylisp;

namespace {

// Runs work inside the operation bracket and records its result code.
int32_t Operate(const std::function<int32_t()>& work) {
  TApiState& s = ApiState();
  if (!IsReadyForProgrammer()) {
    s.LastResult = 2;
    return 2;
  }
  // A request made while nothing ran is not meant for this operation.
  ClearStopRequest();
  int32_t result = 0;
  try {
    WithConnection([&] { result = work(); });
  } catch (...) {
    result = FailureCode(std::current_exception());
  }
  s.LastResult = result;
  return result;
}

// The connection's driver. A held connection whose open failed before a
// driver existed has none: the operation then fails like the open did.
TISPProgrammer& Driver() {
  if (!ApiState().Programmer) throw EISPException("No programmer connection");
  return *ApiState().Programmer;
}

// Program and verify: the image is blanked and the file loaded first; a
// load that fails sends nothing at all to the programmer.
int32_t RunWithImage(const char* fileName, void (TISPProgrammer::*operation)(THexList&)) {
  TApiState& s = ApiState();
  if (!IsReadyForProgrammer()) {
    s.LastResult = 2;
    return 2;
  }
  if (s.Device->Size() == 0 || !s.Buffer) return 5;
  if (fileName) {
    s.Buffer->Clear();
    const int32_t loaded = Zyl_LoadBuffer(1, fileName);
    if (loaded != 0) {
      s.LastResult = loaded;
      return loaded;
    }
  }
  return Operate([&] {
    Driver().SetProgMode(ApiState().ProgMode);
    (Driver().*operation)(*ApiState().Buffer);
    return 0;
  });
}

}  // namespace

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_EraseAllDevice(void) {
  return Guarded<int32_t>(3, [] {
    return Operate([] {
      Driver().EraseAll();
      return 0;
    });
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadEEPROM(const char* fileName, uint8_t format) {
  return Guarded<int32_t>(3, [&]() -> int32_t {
    TApiState& s = ApiState();
    if (!IsReadyForProgrammer()) {
      s.LastResult = 2;
      return 2;
    }
    if (s.Device->Size() == 0 || !s.Buffer) return 5;
    // A file that could not be written is found out before the chip is read.
    if (fileName && !TFileLoader::KnowsFormat(format)) {
      s.LastResult = 1;
      return 1;
    }
    return Operate([&] {
      ApiState().Buffer->Clear();
      Driver().SetProgMode(ApiState().ProgMode);
      Driver().Read(*ApiState().Buffer);
      return fileName ? Zyl_SaveBuffer(1, fileName, format) : 0;
    });
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ProgramEEPROM(const char* fileName) {
  return Guarded<int32_t>(3, [&] { return RunWithImage(fileName, &TISPProgrammer::Program); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_VerifyEEPROM(const char* fileName) {
  return Guarded<int32_t>(3, [&] { return RunWithImage(fileName, &TISPProgrammer::Verify); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_TestComms(void) {
  return Guarded<int32_t>(3, [] { return Operate([] { return 0; }); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteStatus(uint8_t value) {
  return Guarded<int32_t>(3, [&] {
    return Operate([&] {
      Driver().WriteStatus(value);
      return 0;
    });
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadStatus(void) {
  return Guarded<int32_t>(3, [] { return Operate([] { return int32_t{Driver().ReadStatus()}; }); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteAllValue(uint8_t value) { return Zyl_WriteStatus(value); }

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteProgMode(uint8_t mode) {
  ApiState().ProgMode = mode;
  ApiState().LastResult = 0;
  return 0;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetResetPolarity(uint8_t polarity) {
  ApiState().ResetPolarity = polarity;
  ApiState().LastResult = 0;
  return 0;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetBusAddress(uint8_t address) {
  Shared().BusAddress = address;
  ApiState().LastResult = 0;
  return 0;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetPageSize(uint8_t size) {
  Shared().PageSize = size;
  ApiState().LastResult = 0;
  return 0;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetSerialNum(int32_t, int32_t) {
  ApiState().LastResult = 0;
  return 0;
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_EE_Time(uint8_t time) {
  if (TDevice* device = ApiState().Device) device->SetWriteTime(time);
  ApiState().LastResult = 0;
  return 0;
}

// Stores the clock speed for later runs; a held connection is replaced by
// one that runs at the new speed. Without one, nothing is left open.
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Speed(uint8_t speed) {
  return Guarded<int32_t>(3, [&]() -> int32_t {
    TApiState& s = ApiState();
    Shared().ClockSpeed = speed;
    int32_t result = 0;
    try {
      const bool held = s.KeepOpen && s.Programmer;
      if (held) CloseConnection();
      if (const char* kind = KindOfMode(s.Mode)) {
        TISPSettings store;
        store.LoadStore(kCommandLineKey, false, 1);
        store.SetValue(kind, "Clockspeed", 1, static_cast<int64_t>(speed));
        store.SaveStore(kCommandLineKey, false, 1);
      }
      s.LastResult = 0;
      if (held) OpenConnection();
    } catch (...) {
      result = FailureCode(std::current_exception());
    }
    s.LastResult = result;
    return result;
  });
}

}  // extern "C"
