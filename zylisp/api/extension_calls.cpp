// Exports added after the classic calls: the stop request, the detail of
// the last failure, the check of a data file before a run, and the device
// behind a serial port name.
#include <cstring>
#include <string>

#include "api/api_state.h"
#include "api/export_guard.h"
#include "api/image_files.h"
#include "core/atomic_file.h"
#include "core/stop_request.h"
#include "image/file_loader.h"
#include "ports/serial_enumeration.h"
#include "ports/serial_error.h"

namespace zylisp {

int32_t CheckFile(const char* fileName, bool forWriting) {
  const std::string name = fileName ? fileName : "";
  const std::string problem =
      name.empty() ? std::string("no file name given")
                   : (forWriting ? TargetFileProblem(name) : DataFileProblem(name));
  if (problem.empty()) return Record(ZYL_OK);
  SetErrorDetail(ZYL_ERR_FILE, problem);
  return Record(ZYL_ERR_FILE);
}

}  // namespace zylisp

using namespace zylisp;

extern "C" {

ZYL_EXPORT void ZYL_CALL Zyl_RequestStop(void) { RequestStop(); }

ZYL_EXPORT const char* ZYL_CALL Zyl_GetErrorDetail(void) { return ErrorDetail(); }

ZYL_EXPORT int32_t ZYL_CALL Zyl_CheckFile(const char* fileName, uint8_t forWriting) {
  return Guarded<int32_t>(ZYL_ERR_FILE, [&] { return CheckFile(fileName, forWriting != 0); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetPortDevice(const char* portName, char* path, int32_t size) {
  return Guarded<int32_t>(ZYL_ERR_PORT, [&]() -> int32_t {
    std::string device;
    try {
      device = SerialDevicePath(portName ? portName : "");
    } catch (const ESerialError& e) {
      SetErrorDetail(ZYL_ERR_PORT, e.what());
      return Record(ZYL_ERR_PORT);
    }
    if (!path || size < 1 || device.size() >= static_cast<std::size_t>(size))
      return Record(kInvalidValue);
    std::memcpy(path, device.c_str(), device.size() + 1);
    return Record(ZYL_OK);
  });
}

}  // extern "C"
