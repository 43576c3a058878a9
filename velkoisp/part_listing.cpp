#include "part_listing.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "zylisp.h"

namespace velkoisp {

namespace {

const char* FamilyName(int32_t family) {
  switch (family) {
    case ZYL_FAMILY_I2C_EEPROM: return "I2C EEPROM";
    case ZYL_FAMILY_SPI_EEPROM: return "SPI EEPROM";
    case ZYL_FAMILY_MICROWIRE: return "Microwire";
    case ZYL_FAMILY_SPI_FLASH: return "SPI flash";
    case ZYL_FAMILY_DATAFLASH: return "DataFlash";
    default: return "?";
  }
}

// Sizes as people write them: bytes below 1 KiB, else KiB or MiB when whole.
std::string SizeText(int32_t bytes) {
  if (bytes >= (1 << 20) && bytes % (1 << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " B";
}

}  // namespace

void PrintPartList(std::ostream& out) {
  int32_t count = 0;
  Zyl_ListParts(nullptr, 0, &count);
  std::vector<ZylPartInfo> parts(static_cast<std::size_t>(count));
  Zyl_ListParts(parts.data(), count, &count);
  char line[256];
  std::snprintf(line, sizeof line, "%-12s %-10s %8s %5s %-6s %s", "Name", "Family", "Size", "Page",
                "ID", "Aliases");
  out << line << '\n';
  for (const ZylPartInfo& p : parts) {
    char id[16] = "-";
    if (p.jedecId != 0) std::snprintf(id, sizeof id, "%06X", static_cast<unsigned>(p.jedecId));
    std::snprintf(line, sizeof line, "%-12s %-10s %8s %5d %-6s %s", p.name, FamilyName(p.family),
                  SizeText(p.size).c_str(), static_cast<int>(p.pageSize), id, p.aliases);
    std::string text = line;
    text.erase(text.find_last_not_of(' ') + 1);
    out << text << '\n';
  }
  out << count << " parts; --device takes a name or an alias, in any letter case\n";
}

}  // namespace velkoisp
