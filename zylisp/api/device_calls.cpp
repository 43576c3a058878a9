// Exports that act on the chip through the driver, and the setters of the
// values the drivers use.
#include "api/api_state.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "core/errors.h"
#include "core/isp_settings.h"
#include "core/stop_request.h"
#include "core/target_file.h"
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
// load that fails sends nothing at all to the programmer, and neither does
// a file that loads no data (an all-blank image would erase the chip).
int32_t RunWithImage(const char* fileName, void (TISPProgrammer::*operation)(THexList&)) {
  TApiState& s = ApiState();
  if (!IsReadyForProgrammer()) {
    s.LastResult = 2;
    return 2;
  }
  if (s.Device->Size() == 0 || !s.Buffer) return 5;
  if (fileName) {
    // The check records the code and the detail of a file it refuses.
    if (Zyl_CheckFile(fileName, 0) != ZYL_OK) return ZYL_ERR_FILE;
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
    if (fileName) {
      const bool known = TFileLoader::KnowsFormat(format);
      std::string problem = known ? TargetFileProblem(fileName) : std::string();
      if (!known || !problem.empty()) {
        SetErrorDetail(ZYL_ERR_FILE, std::move(problem));
        s.LastResult = ZYL_ERR_FILE;
        return ZYL_ERR_FILE;
      }
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

// A size no transfer can use is refused here, before anything is sent; the
// size set before stays.
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetPageSize(uint8_t size) {
  return Guarded<int32_t>(ZYL_ERR_FILE, [&]() -> int32_t {
    TApiState& s = ApiState();
    const std::string device = s.Device ? s.Device->Name() : std::string();
    std::string problem;
    if (size == 0)
      problem = "page size 0 is not valid" + (s.Device ? " for " + device : std::string());
    else if (s.Device && size > s.Device->Size())
      problem = "page size " + std::to_string(size) + " is larger than the " + device + " (" +
                std::to_string(s.Device->Size()) + " bytes)";
    if (!problem.empty()) {
      SetErrorDetail(ZYL_ERR_FILE, problem);
      s.LastResult = ZYL_ERR_FILE;
      return ZYL_ERR_FILE;
    }
    Shared().PageSize = size;
    s.LastResult = 0;
    return 0;
  });
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
// one that runs at the new speed. Without one, nothing is left open. A
// speed that cannot be stored changes nothing, the held connection included.
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Speed(uint8_t speed) {
  return Guarded<int32_t>(3, [&]() -> int32_t {
    TApiState& s = ApiState();
    int32_t result = 0;
    try {
      if (const char* kind = KindOfMode(s.Mode)) {
        TISPSettings store;
        store.LoadStore(kCommandLineKey, false, 1);
        store.SetValue(kind, "Clockspeed", 1, static_cast<int64_t>(speed));
        store.SaveStore(kCommandLineKey, false, 1);
      }
      Shared().ClockSpeed = speed;
      if (s.KeepOpen && s.Programmer) {
        CloseConnection();
        OpenConnection();
      }
    } catch (...) {
      result = FailureCode(std::current_exception());
    }
    s.LastResult = result;
    return result;
  });
}

}  // extern "C"
