// Exports that act on the chip through the programmer, and the setters of
// the values the programmer uses.
#include "api/api_state.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "api/image_files.h"
#include "api/progress.h"
#include "core/atomic_file.h"
#include "core/errors.h"
#include "core/isp_settings.h"
#include "core/stop_request.h"
#include "devices/device.h"
#include "drivers/isp_programmer.h"
#include "image/file_loader.h"
#include "image/hex_list.h"

using namespace zylisp;

namespace {

// A write that failed after it began has changed the chip: the detail says
// so, and how far the write got.
void NotePartlyWritten(int32_t code) {
  const int32_t done = TProgressObj::LastDone();
  const int32_t total = TProgressObj::LastTotal();
  if (done <= 0 || total <= 0) return;
  Record(code);
  const std::string before = ErrorDetail();
  std::string note = "the chip is now partly written: about " + std::to_string(done) + " of " +
                     std::to_string(total) + " bytes were written before the " +
                     (code == ZYL_ERR_CANCELLED ? "stop" : "failure");
  SetErrorDetail(code, before.empty() ? note : before + "; " + note);
}

// Runs work inside the operation bracket and records its result code.
int32_t Operate(const std::function<int32_t()>& work, bool writesChip = false) {
  if (!IsReadyForProgrammer()) return Record(ZYL_ERR_NOT_READY);
  // A request made while nothing ran is not meant for this operation.
  ClearStopRequest();
  TProgressObj::Reset();
  // Only what this operation finds out is its detail.
  SetErrorDetail(0, {});
  int32_t result = ZYL_OK;
  try {
    WithConnection([&] { result = work(); });
  } catch (...) {
    result = FailureCode(std::current_exception());
  }
  if (result != ZYL_OK && writesChip) NotePartlyWritten(result);
  return Record(result);
}

// The connection's programmer. A held connection whose open failed before
// a programmer existed has none: the operation then fails like the open did.
TISPProgrammer& Programmer() {
  if (!ApiState().Programmer) throw EISPException("No programmer connection");
  return *ApiState().Programmer;
}

// Read, program and verify hand the programmer the organisation the client
// set last.
TISPProgrammer& ImageProgrammer() {
  TISPProgrammer& programmer = Programmer();
  programmer.Params().ProgMode = ApiState().ProgMode;
  return programmer;
}

// The checks of the operations on the image: ready, and an image to work on.
// ZYL_OK, or the code to give (5 is not recorded).
int32_t ImageCheck() {
  const TApiState& s = ApiState();
  if (!IsReadyForProgrammer()) return Record(ZYL_ERR_NOT_READY);
  if (s.Device->Size == 0 || !s.Buffer) return ZYL_ERR_AREA;
  return ZYL_OK;
}

// Program and verify: the image is blanked and the file loaded first; a
// load that fails sends nothing at all to the programmer, and neither does
// a file that loads no data (an all-blank image would erase the chip).
int32_t RunWithImage(const char* fileName, void (TISPProgrammer::*operation)(THexList&)) {
  if (const int32_t refused = ImageCheck()) return refused;
  if (fileName) {
    // The check records the code and the detail of a file it refuses.
    if (CheckFile(fileName, false, false) != ZYL_OK) return ZYL_ERR_FILE;
    ApiState().Buffer->Clear();
    const int32_t loaded = LoadImageFile(ZYL_AREA_EEPROM, fileName);
    if (loaded != ZYL_OK) return Record(loaded);
  }
  return Operate(
      [&] {
        (ImageProgrammer().*operation)(*ApiState().Buffer);
        return ZYL_OK;
      },
      operation == &TISPProgrammer::Program);
}

int32_t WriteStatusValue(uint8_t value) {
  return Operate(
      [&] {
        Programmer().WriteStatus(value);
        return ZYL_OK;
      },
      true);
}

}  // namespace

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_EraseAllDevice(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [] {
    return Operate(
        [] {
          Programmer().EraseAll();
          return ZYL_OK;
        },
        true);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadEEPROM(const char* fileName, uint8_t format) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    if (const int32_t refused = ImageCheck()) return refused;
    // A file that could not be written is found out before the chip is read.
    if (fileName) {
      const bool known = TFileLoader::KnowsFormat(format);
      std::string problem = known ? TargetFileProblem(fileName) : std::string();
      if (known && problem.empty()) problem = FormatCapacityProblem(format, *ApiState().Device);
      if (!known || !problem.empty()) {
        SetErrorDetail(ZYL_ERR_FILE, std::move(problem));
        return Record(ZYL_ERR_FILE);
      }
    }
    return Operate([&] {
      ApiState().Buffer->Clear();
      ImageProgrammer().Read(*ApiState().Buffer);
      return fileName ? SaveImageFile(ZYL_AREA_EEPROM, fileName, format) : ZYL_OK;
    });
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ProgramEEPROM(const char* fileName) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE,
                          [&] { return RunWithImage(fileName, &TISPProgrammer::Program); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_VerifyEEPROM(const char* fileName) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE,
                          [&] { return RunWithImage(fileName, &TISPProgrammer::Verify); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_TestComms(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [] { return Operate([] { return ZYL_OK; }); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteStatus(uint8_t value) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&] { return WriteStatusValue(value); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadStatus(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [] {
    return Operate([] { return int32_t{Programmer().ReadStatus()}; });
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetStatusByte(uint8_t* status) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    if (!status) return Record(kInvalidValue);
    uint8_t value = 0;
    const int32_t result = Operate([&] {
      value = Programmer().ReadStatus();
      return ZYL_OK;
    });
    if (result == ZYL_OK) *status = value;
    return result;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteAllValue(uint8_t value) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&] { return WriteStatusValue(value); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteProgMode(uint8_t mode) {
  ApiState().ProgMode = mode;
  return Record(ZYL_OK);
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetResetPolarity(uint8_t polarity) {
  ApiState().ResetPolarity = polarity;
  return Record(ZYL_OK);
}

// Reaches the operations of a held connection; every open starts from 0xA0.
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetBusAddress(uint8_t address) {
  if (TISPProgrammer* programmer = ApiState().Programmer.get())
    programmer->Params().BusAddress = address;
  return Record(ZYL_OK);
}

// A size no transfer can use, or above the device's write page, is refused
// here, before anything is sent; the size set before stays. Like the bus address, it reaches the operations
// of a held connection; every open starts from the device's page size.
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetPageSize(uint8_t size) {
  return Guarded<int32_t>(kInvalidValue, [&]() -> int32_t {
    TApiState& s = ApiState();
    const std::string device = s.Device ? s.Device->Name : std::string();
    std::string problem;
    if (size == 0)
      problem = "page size 0 is not valid" + (s.Device ? " for " + device : std::string());
    else if (s.Device && size > s.Device->PageSize)
      // A longer page wraps inside the chip's own and corrupts it.
      problem = "page size " + std::to_string(size) + " is larger than the write page of the " +
                device + " (" + std::to_string(s.Device->PageSize) + " bytes)";
    if (!problem.empty()) {
      SetErrorDetail(kInvalidValue, problem);
      return Record(kInvalidValue);
    }
    if (s.Programmer) s.Programmer->Params().PageSize = size;
    return Record(ZYL_OK);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetSerialNum(int32_t, int32_t) { return Record(ZYL_OK); }

// The write time belongs to the device for the life of the library: it
// reaches every later connection to it, also after another selection.
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_EE_Time(uint8_t time) {
  TApiState& s = ApiState();
  if (s.Device) s.WriteTimes[s.Device] = time;
  return Record(ZYL_OK);
}

// Stores the clock speed for later runs; a held connection is replaced by
// one that runs at the new speed. Without one, nothing is left open. A
// speed that cannot be stored changes nothing, the held connection included.
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Speed(uint8_t speed) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    TApiState& s = ApiState();
    try {
      if (const char* kind = KindOfMode(s.Mode)) {
        TISPSettings store;
        store.LoadStore(kCommandLineKey, false, 1);
        store.SetValue(kind, "Clockspeed", 1, static_cast<int64_t>(speed));
        store.SaveStore(kCommandLineKey, false, 1);
      }
      if (s.KeepOpen && s.Programmer) {
        CloseConnection();
        OpenConnection();
      }
    } catch (...) {
      return Record(FailureCode(std::current_exception()));
    }
    return Record(ZYL_OK);
  });
}

}  // extern "C"
