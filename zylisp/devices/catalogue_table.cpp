// The built-in device table, in catalogue order.
#include "devices/device_list.h"

namespace zylisp {

namespace {

struct Row {
  const char* name;
  uint8_t bus;
  int32_t size;
  int32_t page;
  uint8_t writeTime;
  uint8_t microwireBits;
};

constexpr Row kTable[] = {
    {"24C00", 0, 16, 1, 5, 0},         {"24C01", 0, 128, 4, 5, 0},
    {"24WC01", 0, 128, 4, 5, 0},       {"24C02", 0, 256, 4, 5, 0},
    {"24WC02", 0, 256, 4, 5, 0},       {"24C04", 0, 512, 4, 5, 0},
    {"24WC04", 0, 512, 4, 5, 0},       {"24C08", 0, 1024, 16, 5, 0},
    {"24WC08", 0, 1024, 16, 5, 0},     {"24C16", 0, 2048, 16, 5, 0},
    {"24WC16", 0, 2048, 16, 5, 0},     {"24C32", 0, 4096, 16, 5, 0},
    {"24WC32", 0, 4096, 16, 5, 0},     {"24C64", 0, 8192, 16, 5, 0},
    {"24WC64", 0, 8192, 16, 5, 0},     {"24C128", 0, 16384, 64, 5, 0},
    {"24WC128", 0, 16384, 64, 5, 0},   {"24C256", 0, 32768, 64, 5, 0},
    {"24WC256", 0, 32768, 64, 5, 0},   {"24C512", 0, 65536, 128, 5, 0},
    {"24C1024", 0, 131072, 128, 5, 0}, {"25C010", 1, 128, 16, 5, 0},
    {"25010", 1, 128, 16, 5, 0},       {"25010 (AT)", 1, 128, 8, 5, 0},
    {"25C01", 1, 128, 16, 5, 0},       {"25C020", 1, 256, 16, 5, 0},
    {"25020", 1, 256, 16, 5, 0},       {"25C02", 1, 256, 16, 5, 0},
    {"25C040", 1, 512, 16, 5, 0},      {"25C04", 1, 512, 16, 5, 0},
    {"25040", 1, 512, 16, 5, 0},       {"25C080", 1, 1024, 32, 5, 0},
    {"25C08", 1, 1024, 32, 5, 0},      {"25C160", 1, 2048, 32, 5, 0},
    {"25C16", 1, 2048, 32, 5, 0},      {"25C320", 1, 4096, 32, 5, 0},
    {"25C32", 1, 4096, 32, 5, 0},      {"25C640", 1, 8192, 32, 5, 0},
    {"25C64", 1, 8192, 32, 5, 0},      {"25C128", 1, 16384, 64, 5, 0},
    {"25C256", 1, 32768, 64, 5, 0},    {"25256", 1, 32768, 64, 5, 0},
    {"25HP256", 1, 32768, 128, 5, 0},  {"25HP512", 1, 65536, 128, 5, 0},
    {"93C06", 2, 32, 16, 6, 10},       {"93C46", 2, 128, 16, 6, 10},
    {"93C56", 2, 256, 16, 4, 12},      {"93C57", 2, 256, 16, 5, 11},
    {"93C66", 2, 512, 16, 4, 12},      {"93C76", 2, 1024, 32, 2, 14},
    {"93C86", 2, 2048, 32, 2, 14},
};

constexpr uint8_t kEntryFamilies = 5;  // bit 0 (no consumer here) and FamilyIsp

}  // namespace

void TDeviceList::BuildCatalogue() {
  for (const Row& r : kTable) {
    std::vector<TDeviceOptions> options(1);
    options[0].Families = FamilyIsp;
    options[0].Timings = std::make_unique<TTimings>();
    options[0].Timings->WriteTime = r.writeTime;
    options[0].Timings->MicrowireBits = r.microwireBits;
    const std::string name = r.name;
    const int32_t variant = (name == "24C256" || name == "24WC256") ? 5 : 0;
    Add(std::make_unique<TDevice>(name, r.bus, kEntryFamilies, r.size, variant, r.page,
                                  std::move(options)));
  }
}

}  // namespace zylisp
