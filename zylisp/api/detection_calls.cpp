// Asking the chip what it is: an SPI flash by its JEDEC ID and SFDP table,
// an I2C part by the bus addresses that acknowledge; and clearing a flash
// part's block protection.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/chip_operations.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "api/session.h"
#include "core/errors.h"
#include "devices/device.h"
#include "devices/device_list.h"
#include "devices/part_table.h"
#include "drivers/isp_programmer.h"
#include "zylisp.h"

namespace zylisp {

namespace {

std::string Hex6(uint32_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(id & 0xFFFFFF));
  return text;
}

std::string SizeText(uint32_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

void Put(char* field, const std::string& text) {
  text.copy(field, ZYL_DETECT_TEXT_SIZE - 1);
}

// Fills found from what the probe heard; true when an SPI flash answered.
bool Describe(const TSpiFlashIdentity& id, const std::vector<uint8_t>& i2c, ZylDetection& found) {
  std::memset(&found, 0, sizeof found);
  found.i2cCount = static_cast<int32_t>(std::min<std::size_t>(i2c.size(), 8));
  std::copy_n(i2c.begin(), found.i2cCount, found.i2cAddresses);
  if (!id.JedecId) {
    std::string text =
        "no SPI flash answers: EEPROMs and Microwire parts cannot be detected, choose one with "
        "--device";
    if (!i2c.empty()) {
      text += "; on the I2C bus, address";
      text += i2c.size() > 1 ? "es " : " ";
      for (std::size_t i = 0; i < i2c.size(); ++i)
        text += (i ? ", " : "") + std::string("0x") + Hex6(i2c[i]).substr(4);
      text += i2c.size() > 1 ? " acknowledge" : " acknowledges";
    }
    Put(found.text, text);
    return false;
  }
  found.jedecId = *id.JedecId;
  found.sfdp = id.Sfdp ? 1 : 0;
  const std::vector<const TPartRow*> rows = PartsWithJedecId(found.jedecId);
  std::string names;
  for (const TPartRow* row : rows) names += (names.empty() ? "" : ", ") + row->Name;
  std::string text = "SPI flash with ID " + Hex6(found.jedecId);
  if (!rows.empty()) {
    found.candidates = static_cast<int32_t>(rows.size());
    found.size = rows.front()->Size;
    text += ": " + names + " (" + SizeText(static_cast<uint32_t>(found.size)) + ")";
    if (rows.size() > 1) text += "; these parts share the ID: choose one with --device";
  } else if (id.Sfdp) {
    const TDevice& generic = KeepDetectedPart(GenericFlashRow(found.jedecId, *id.Sfdp));
    names = generic.Name;
    found.candidates = 1;
    found.size = generic.Size;
    text += ", which no part here has; its SFDP table describes " +
            SizeText(static_cast<uint32_t>(generic.Size)) + " in " +
            std::to_string(generic.PageSize) + "-byte pages (the part \"" + names +
            "\" while this program runs)";
  } else {
    text += ", which no part here has, and no SFDP table: choose a part of its size with --device";
  }
  Put(found.names, names);
  Put(found.text, text);
  return true;
}

// Runs the probe on the session's connection; the selection stays as it is.
int32_t Detect(ZylDetection* found) {
  if (!found) return kInvalidValue;
  TSession& s = CurrentSession();
  if (KindOfMode(s.Mode) == nullptr || s.Port < 1) return Record(ZYL_ERR_NOT_READY);
  bool answered = false;
  SetErrorDetail(0, {});
  int32_t result = ZYL_OK;
  try {
    WithConnection([&] {
      TISPProgrammer& programmer = Programmer();
      const TSpiFlashIdentity id = programmer.DetectSpiFlash();
      std::vector<uint8_t> i2c;
      if (!id.JedecId) i2c = programmer.ScanI2C();
      answered = Describe(id, i2c, *found);
    });
  } catch (...) {
    result = FailureCode(std::current_exception());
  }
  if (result == ZYL_OK && !answered) {
    result = ZYL_ERR_DEVICE_UNKNOWN;
    SetErrorDetail(result, found->text);
  }
  return Record(result);
}

int32_t Unprotect() {
  const TDevice* device = CurrentSession().Device;
  if (device && (!device->Part || device->Part->Family != EPartFamily::SpiFlash))
    return Record(ZYL_ERR_NOT_SUPPORTED);
  return Operate(ZYL_STAGE_PROGRAM, [] {
    Programmer().Unprotect();
    return ZYL_OK;
  });
}

}  // namespace

}  // namespace zylisp

using namespace zylisp;

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_Detect(ZylDetection* found) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&] { return Detect(found); });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_Unprotect(void) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [] { return Unprotect(); });
}

}  // extern "C"
