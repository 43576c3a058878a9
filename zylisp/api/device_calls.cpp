// Exports that act on the chip through the programmer, and the setters of
// the values the programmer uses.
#include "api/session.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "api/chip_operations.h"
#include "core/errors.h"
#include "core/isp_settings.h"
#include "devices/device.h"
#include "drivers/isp_programmer.h"

using namespace zylisp;

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_EraseAllDevice(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [] { return EraseChip(); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadEEPROM(const char* fileName, uint8_t format) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&] { return ReadIntoImage(fileName, format); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ProgramEEPROM(const char* fileName) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE,
                          [&] { return ProgramImage(fileName); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_VerifyEEPROM(const char* fileName) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE,
                          [&] { return VerifyImage(fileName); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_TestComms(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [] { return Operate(0, [] { return ZYL_OK; }); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteStatus(uint8_t value) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&] { return WriteStatusValue(value); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadStatus(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [] {
    return Operate(0, [] { return int32_t{Programmer().ReadStatus()}; });
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetStatusByte(uint8_t* status) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&] { return ReadStatusByte(status); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteAllValue(uint8_t value) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&] { return WriteStatusValue(value); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteProgMode(uint8_t mode) {
  CurrentSession().ProgMode = mode;
  return Record(ZYL_OK);
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetResetPolarity(uint8_t polarity) {
  CurrentSession().ResetPolarity = polarity;
  return Record(ZYL_OK);
}

// Reaches the operations of a held connection; every open starts from 0xA0.
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetBusAddress(uint8_t address) {
  if (TISPProgrammer* programmer = CurrentSession().Programmer.get())
    programmer->Params().BusAddress = address;
  return Record(ZYL_OK);
}

// A size no transfer can use, or above the device's write page, is refused
// here, before anything is sent; the size set before stays. Like the bus
// address, it reaches the operations of a held connection; every open
// starts from the device's page size.
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetPageSize(uint8_t size) {
  return Guarded<int32_t>(kInvalidValue, [&] { return SetPageSize(size); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetSerialNum(int32_t, int32_t) { return Record(ZYL_OK); }

// The write time belongs to the device for the life of the library: it
// reaches every later connection to it, also after another selection.
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_EE_Time(uint8_t time) {
  TSession& s = CurrentSession();
  if (s.Device) s.WriteTimes[s.Device] = time;
  return Record(ZYL_OK);
}

// Stores the clock speed for later runs; a held connection is replaced by
// one that runs at the new speed. Without one, nothing is left open. A
// speed that cannot be stored changes nothing, the held connection included.
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Speed(uint8_t speed) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    TSession& s = CurrentSession();
    try {
      if (const char* kind = KindOfMode(s.Mode)) {
        TISPSettings store;
        store.UpdateStore(kCommandLineKey, false, 1, [&](TISPSettings& settings) {
          settings.SetValue(kind, "Clockspeed", 1, static_cast<int64_t>(speed));
        });
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
