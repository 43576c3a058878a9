// Exports added after the classic calls: the stop request, the detail of
// the last failure, the check of a data file before a run, the device
// behind a serial port name, catalogue and format facts, the checksum rule
// and the differences of the last verify.
#include <algorithm>
#include <cstring>
#include <string>

#include "api/session.h"
#include "api/export_guard.h"
#include "api/image_files.h"
#include "core/atomic_file.h"
#include "core/stop_request.h"
#include "devices/device.h"
#include "devices/device_list.h"
#include "image/hex_list.h"
#include "image/file_loader.h"
#include "ports/serial_enumeration.h"
#include "ports/serial_error.h"

namespace zylisp {

int32_t CheckFile(const char* fileName, bool forWriting, bool deviceLimits) {
  const std::string name = fileName ? fileName : "";
  TLoadOptions options = LoadOptions();
  if (!deviceLimits) options.DeviceSize = 0;
  const std::string problem =
      name.empty() ? std::string("no file name given")
                   : (forWriting ? TargetFileProblem(name) : DataFileProblem(name, options));
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
  return Guarded<int32_t>(ZYL_ERR_FILE, [&] { return CheckFile(fileName, forWriting != 0, true); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDeviceInfo(const char* name, int32_t* busKind, int32_t* size,
                                              int32_t* pageSize) {
  return Guarded<int32_t>(ZYL_ERR_DEVICE_UNKNOWN, [&]() -> int32_t {
    const TDevice* device = name ? FindDevice(name) : nullptr;
    if (!device) return Record(ZYL_ERR_DEVICE_UNKNOWN);
    if (busKind) *busKind = device->BusType;
    if (size) *size = device->Size;
    if (pageSize) *pageSize = device->PageSize;
    return Record(ZYL_OK);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetFormatLimit(uint8_t format) {
  return Guarded<int32_t>(0, [&] {
    return static_cast<int32_t>(std::min<int64_t>(FormatLimit(format), 0x7FFFFFFF));
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SetIgnoreChecksums(uint8_t ignore) {
  CurrentSession().IgnoreChecksums = ignore != 0;
  return Record(ZYL_OK);
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDifferenceCount(void) {
  return Guarded<int32_t>(0, [] {
    const THexList* image = CurrentSession().Buffer.get();
    return image ? static_cast<int32_t>(image->Differences().size()) : 0;
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDifference(int32_t index, int32_t* address, uint8_t* chipValue,
                                              uint8_t* imageValue) {
  return Guarded<int32_t>(kInvalidValue, [&]() -> int32_t {
    const THexList* image = CurrentSession().Buffer.get();
    if (!image || index < 0 || static_cast<std::size_t>(index) >= image->Differences().size())
      return kInvalidValue;
    const TByteDifference& d = image->Differences()[static_cast<std::size_t>(index)];
    if (address) *address = static_cast<int32_t>(d.Address);
    if (chipValue) *chipValue = d.Chip;
    if (imageValue) *imageValue = d.Image;
    return ZYL_OK;
  });
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
