// The part table through the exports: every part with its properties.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api/export_guard.h"
#include "devices/device.h"
#include "devices/device_list.h"
#include "devices/part_table.h"
#include "zylisp.h"

namespace zylisp {

namespace {

int32_t FamilyCode(EPartFamily family) {
  switch (family) {
    case EPartFamily::I2CEeprom: return ZYL_FAMILY_I2C_EEPROM;
    case EPartFamily::SpiEeprom: return ZYL_FAMILY_SPI_EEPROM;
    case EPartFamily::Microwire: return ZYL_FAMILY_MICROWIRE;
    case EPartFamily::SpiFlash: return ZYL_FAMILY_SPI_FLASH;
    case EPartFamily::DataFlash: return ZYL_FAMILY_DATAFLASH;
  }
  return ZYL_FAMILY_I2C_EEPROM;
}

void Describe(const TDevice& device, ZylPartInfo& out) {
  std::memset(&out, 0, sizeof out);
  const TPartRow& row = *device.Part;
  row.Name.copy(out.name, sizeof out.name - 1);
  std::string aliases;
  for (const std::string& alias : row.Aliases) aliases += (aliases.empty() ? "" : ", ") + alias;
  aliases.copy(out.aliases, sizeof out.aliases - 1);
  out.family = FamilyCode(row.Family);
  out.busKind = device.BusType;
  out.size = device.Size;
  out.pageSize = device.PageSize;
  out.addressBytes = row.AddressBytes;
  out.jedecId = row.JedecId;
  std::vector<int32_t> sizes;
  for (const TEraseKind& kind : row.Erase) sizes.push_back(static_cast<int32_t>(kind.Size));
  std::sort(sizes.begin(), sizes.end());
  for (std::size_t i = 0; i < sizes.size() && i < 4; ++i) out.eraseSizes[i] = sizes[i];
  if (row.Organisation == EMicrowireOrg::Fixed8) out.organisation = 8;
  if (row.Organisation == EMicrowireOrg::Fixed16) out.organisation = 16;
}

}  // namespace

}  // namespace zylisp

using namespace zylisp;

extern "C" {

ZYL_EXPORT int32_t ZYL_CALL Zyl_ListParts(ZylPartInfo* list, int32_t capacity, int32_t* count) {
  return Guarded<int32_t>(ZYL_ERR_FILE, [&]() -> int32_t {
    if (!count || capacity < 0 || (capacity > 0 && !list)) return ZYL_ERR_FILE;
    const std::vector<const TDevice*>& devices = AllDevices();
    const std::size_t n = std::min(devices.size(), static_cast<std::size_t>(capacity));
    for (std::size_t i = 0; i < n; ++i) Describe(*devices[i], list[i]);
    *count = static_cast<int32_t>(devices.size());
    return ZYL_OK;
  });
}

}  // extern "C"
