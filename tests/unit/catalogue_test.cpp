#include <gtest/gtest.h>

#include <algorithm>

#include "devices/device_list.h"
#include "zylisp.h"

using namespace zylisp;

namespace {

TEST(Catalogue, CountsPerBusKindInTableOrder) {
  ASSERT_EQ(DeviceCatalogue().size(), 51u);
  const auto i2c = DeviceNames(kBusI2C);
  const auto spi = DeviceNames(kBusSPI);
  const auto mw = DeviceNames(kBusMicrowire);
  ASSERT_EQ(i2c.size(), 21u);
  ASSERT_EQ(spi.size(), 23u);
  ASSERT_EQ(mw.size(), 7u);
  EXPECT_EQ(i2c.front(), "24C00");
  EXPECT_EQ(i2c.back(), "24C1024");
  EXPECT_EQ(spi.front(), "25C010");
  EXPECT_EQ(spi[2], "25010 (AT)");
  EXPECT_EQ(spi.back(), "25HP512");
  EXPECT_EQ(mw, (std::vector<std::string>{"93C06", "93C46", "93C56", "93C57", "93C66", "93C76",
                                          "93C86"}));
  EXPECT_TRUE(DeviceNames(kBusDataFlash).empty());
}

TEST(Catalogue, EntriesCarryTheirGeometry) {
  struct Expect {
    const char* name;
    uint8_t bus;
    int32_t size, page, writeTime;
    uint8_t mwBits;
  };
  const Expect rows[] = {{"24C00", 0, 16, 1, 5, 0},        {"24C16", 0, 2048, 16, 5, 0},
                         {"24C1024", 0, 131072, 128, 5, 0}, {"25010 (AT)", 1, 128, 8, 5, 0},
                         {"25HP512", 1, 65536, 128, 5, 0},  {"93C56", 2, 256, 16, 4, 12},
                         {"93C57", 2, 256, 16, 5, 11},      {"93C86", 2, 2048, 32, 2, 14}};
  for (const Expect& e : rows) {
    SCOPED_TRACE(e.name);
    const TDevice* d = FindDevice(e.name);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->BusType, e.bus);
    EXPECT_EQ(d->Size, e.size);
    EXPECT_EQ(d->PageSize, e.page);
    EXPECT_EQ(d->WriteTime, e.writeTime);
    EXPECT_EQ(d->MicrowireBits, e.mwBits);
  }
}

TEST(Catalogue, LookupIgnoresCase) {
  ASSERT_NE(FindDevice("24wc16"), nullptr);
  EXPECT_EQ(FindDevice("24wc16")->Name, "24WC16");
  EXPECT_EQ(FindDevice("25010 (at)")->Name, "25010 (AT)");
  EXPECT_EQ(FindDevice("AT90S1200"), nullptr);
}

TEST(Catalogue, LongestNameFitsThePublishedBuffer) {
  std::size_t longest = 0;
  for (const TDevice& d : DeviceCatalogue()) longest = std::max(longest, d.Name.size());
  EXPECT_EQ(longest, kLongestDeviceName);
  EXPECT_EQ(longest, static_cast<std::size_t>(ZYL_DEVICE_NAME_MAX));
}

}  // namespace
