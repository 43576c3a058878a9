// Exports that move data between files and the memory image and give byte
// access to it.
#include <cstdio>

#include "api/session.h"
#include "api/export_guard.h"
#include "api/image_files.h"
#include "core/atomic_file.h"
#include "core/errors.h"
#include "devices/device.h"
#include "image/file_access.h"
#include "image/file_loader.h"
#include "image/hex_list.h"

using namespace zylisp;

namespace {

constexpr uint8_t kEepromArea = ZYL_AREA_EEPROM;

// Zyl_ReadBuffer and Zyl_WriteBuffer share their checks; access runs on the
// image and maps its range error to 7.
template <typename Access>
int32_t ByteAccess(uint8_t area, uint8_t* value, Access&& access) {
  TSession& s = CurrentSession();
  if (!IsReady()) return Record(ZYL_ERR_NOT_READY);
  if (value) *value = 0;
  if (area != kEepromArea) return Record(ZYL_ERR_AREA);
  if (!s.Buffer) return Record(ZYL_OK);
  try {
    access(*s.Buffer);
    return Record(ZYL_OK);
  } catch (const EISPException&) {
    return Record(ZYL_ERR_OUTSIDE_BUFFER);
  } catch (...) {
    return Record(-1);
  }
}

int32_t ReadImageByte(uint8_t area, int32_t address, uint8_t* value) {
  return ByteAccess(area, value, [&](const THexList& image) {
    // Negative addresses are huge unsigned ones and fail the range check.
    const uint8_t byte = image.GetValue(static_cast<uint32_t>(address));
    if (value) *value = byte;
  });
}

}  // namespace

namespace zylisp {

int32_t LoadImageFile(uint8_t area, const char* fileName) {
  if (!IsReady()) return ZYL_ERR_NOT_READY;
  if (area != kEepromArea || !CurrentSession().Buffer) return ZYL_ERR_AREA;
  return LoadFileIntoImage(fileName);
}

int32_t LoadFileIntoImage(const char* fileName, bool* replaced) {
  TSession& s = CurrentSession();
  if (!fileName) return ZYL_ERR_FILE;
  int32_t loaded = 0;
  std::string reason;
  try {
    // Text formats by their content; everything else is a binary image.
    loaded = TFileLoader::LoadFile(fileName, *s.Buffer, LoadOptions(), &reason, replaced);
  } catch (const EDamagedFile& e) {
    Record(ZYL_ERR_FILE);
    SetErrorDetail(ZYL_ERR_FILE, e.Message());
    return ZYL_ERR_FILE;
  } catch (const EFileError& e) {
    // Not recorded, as ever; the detail is there for a run that fails on it.
    SetErrorDetail(ZYL_ERR_FILE, e.what());
    return ZYL_ERR_FILE;
  } catch (...) {
    return ZYL_ERR_FILE;
  }
  if (loaded != -1) return Record(ZYL_OK);
  Record(ZYL_ERR_FILE_TOO_LARGE);
  SetErrorDetail(ZYL_ERR_FILE_TOO_LARGE, std::move(reason));
  return ZYL_ERR_FILE_TOO_LARGE;
}

int64_t FormatLimit(int32_t format) {
  if (format == ZYL_FMT_BINARY) return 0x7FFFFFFF;
  return TFileLoader::HighestAddress(format);
}

std::string FormatCapacityProblem(int32_t format, const TDevice& device) {
  const int64_t limit = FormatLimit(format);
  if (limit == 0 || device.Size - 1 <= limit) return {};
  const char* name = format == ZYL_FMT_EXTENDED_TEKTRONIX ? "extended Tektronix"
                     : format == ZYL_FMT_TEKTRONIX        ? "Tektronix"
                     : format == ZYL_FMT_BYTE_LIST        ? "byte list"
                     : format <= ZYL_FMT_INTEL_HEX_LINEAR ? "Intel HEX"
                                                          : "Motorola S-record";
  char reach[24];
  std::snprintf(reach, sizeof reach, "%llX", static_cast<unsigned long long>(limit));
  return std::string(name) + " files reach address " + reach + " only; the " + device.Name +
         " holds " + std::to_string(device.Size) +
         " bytes: choose Intel HEX, Motorola S-record or binary";
}

TLoadOptions LoadOptions() {
  const TSession& s = CurrentSession();
  TLoadOptions options;
  options.IgnoreChecksums = s.IgnoreChecksums;
  if (s.Device) {
    options.DeviceName = s.Device->Name;
    options.DeviceSize = s.Device->Size;
  }
  return options;
}

int32_t SaveImageFile(uint8_t area, const char* fileName, uint8_t format) {
  if (!IsReady()) return Record(ZYL_ERR_NOT_READY);
  if (area != kEepromArea) return Record(ZYL_ERR_AREA);
  return SaveImageToFile(fileName, format);
}

int32_t SaveImageToFile(const char* fileName, uint8_t format) {
  TSession& s = CurrentSession();
  const auto fileFailure = [](std::string reason) {
    SetErrorDetail(ZYL_ERR_FILE, std::move(reason));
    return Record(ZYL_ERR_FILE);
  };
  // An unknown format is refused before anything is written, so a file of
  // that name stays as it was.
  if (!TFileLoader::KnowsFormat(format)) return fileFailure({});
  if (format != ZYL_FMT_BINARY && !s.Buffer) return Record(ZYL_ERR_AREA);
  if (!s.Buffer || !fileName) return fileFailure({});
  // A file that cannot be written is told before its text is made.
  std::string reason = TargetFileProblem(fileName);
  if (!reason.empty()) return fileFailure(reason);
  const int32_t saved = format == ZYL_FMT_BINARY
                            ? TFileLoader::SaveBinaryFile(fileName, *s.Buffer, &reason)
                            : TFileLoader::SaveHexFile(fileName, *s.Buffer, format, &reason);
  return saved == 0 ? Record(ZYL_OK) : fileFailure(reason);
}

}  // namespace zylisp

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_LoadBuffer(uint8_t area, const char* fileName) {
  return Guarded<int32_t>(ZYL_ERR_FILE, [&] { return LoadImageFile(area, fileName); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_SaveBuffer(uint8_t area, const char* fileName, uint8_t format) {
  return Guarded<int32_t>(ZYL_ERR_FILE, [&] { return SaveImageFile(area, fileName, format); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ClearBuffer(uint8_t area) {
  return Guarded<int32_t>(-1, [&]() -> int32_t {
    TSession& s = CurrentSession();
    if (!IsReady()) return Record(ZYL_ERR_NOT_READY);
    if (area != kEepromArea || !s.Buffer) return Record(ZYL_ERR_AREA);
    s.Buffer->Clear();
    return Record(ZYL_OK);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_IdentifyFile(const char* fileName) {
  return Guarded<int32_t>(ZYL_FMT_BINARY, [&]() -> int32_t {
    int32_t format = ZYL_FMT_BINARY;
    try {
      if (fileName) format = TFileLoader::IdentifyFile(fileName);
    } catch (...) {
      format = ZYL_FMT_BINARY;  // unreadable files count as binary
    }
    return Record(format < 1 ? ZYL_FMT_BINARY : format);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadBuffer(uint8_t area, int32_t address, uint8_t* value) {
  return Guarded<int32_t>(-1, [&] { return ReadImageByte(area, address, value); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteBuffer(uint8_t area, int32_t address, uint8_t value) {
  return Guarded<int32_t>(-1, [&]() -> int32_t {
    return ByteAccess(area, nullptr, [&](THexList& image) {
      image.SetValue(static_cast<uint32_t>(address), value);
    });
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_GetBufferSize(uint8_t area) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    const TSession& s = CurrentSession();
    return Record(IsReady() && area == kEepromArea ? s.Device->Size : 0);
  });
}

ZYL_EXPORT uint8_t ZYL_CALL Zyl_ANSI_ReadBuffer(uint8_t area, int32_t address) {
  return Guarded<uint8_t>(0, [&]() -> uint8_t {
    uint8_t value = 0;
    ReadImageByte(area, address, &value);
    // The byte replaces the read's code.
    Record(value);
    return value;
  });
}

}  // extern "C"
