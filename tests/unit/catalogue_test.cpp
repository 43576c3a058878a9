#include <gtest/gtest.h>

#include "devices/device_list.h"
#include "zylisp.h"

using namespace zylisp;

namespace {

TEST(Catalogue, CountsPerBusKindInTableOrder) {
  TDeviceList& c = DeviceCatalogue();
  ASSERT_EQ(c.Count(), 51);
  const auto i2c = c.DeviceNames(FamilyIsp, kBusI2C);
  const auto spi = c.DeviceNames(FamilyIsp, kBusSPI);
  const auto mw = c.DeviceNames(FamilyIsp, kBusMicrowire);
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
  EXPECT_TRUE(c.DeviceNames(FamilyIsp, kBusDataFlash).empty());
}

TEST(Catalogue, EntriesCarryTheirGeometryAndOptions) {
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
    TDevice* d = DeviceCatalogue().FindDevice(e.name, FamilyIsp);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->BusType(), e.bus);
    EXPECT_EQ(d->Size(), e.size);
    EXPECT_EQ(d->PageSize(), e.page);
    EXPECT_EQ(d->WriteTime(), e.writeTime);
    EXPECT_EQ(d->Families(), 5);
    ASSERT_EQ(d->Options().size(), 1u);
    EXPECT_EQ(d->Options()[0].Families, FamilyIsp);
    EXPECT_EQ(d->Options()[0].Timings->MicrowireBits, e.mwBits);
  }
  EXPECT_EQ(DeviceCatalogue().FindDevice("24C256", FamilyIsp)->Variant(), 5);
  EXPECT_EQ(DeviceCatalogue().FindDevice("24WC256", FamilyIsp)->Variant(), 5);
  EXPECT_EQ(DeviceCatalogue().FindDevice("24C512", FamilyIsp)->Variant(), 0);
}

TEST(Catalogue, LookupIgnoresCaseAndHonoursTheFamilyMask) {
  TDeviceList& c = DeviceCatalogue();
  ASSERT_NE(c.FindDevice("24wc16", FamilyIsp), nullptr);
  EXPECT_EQ(c.FindDevice("24wc16", FamilyIsp)->Name(), "24WC16");
  EXPECT_EQ(c.FindDevice("25010 (at)", FamilyIsp)->Name(), "25010 (AT)");
  EXPECT_EQ(c.FindDevice("AT90S1200", FamilyIsp), nullptr);
  EXPECT_NE(c.FindDevice("93C46", 1), nullptr);  // bit 0 is set in every entry
  EXPECT_EQ(c.FindDevice("93C46", 2), nullptr);
  EXPECT_EQ(c.DeviceNames(2, kBusI2C).size(), 0u);
  EXPECT_EQ(c.DeviceNames(1, kBusI2C).size(), 21u);
}

TEST(Catalogue, LongestNameFitsThePublishedBuffer) {
  std::size_t longest = 0;
  for (int i = 0; i < DeviceCatalogue().Count(); ++i)
    longest = std::max(longest, DeviceCatalogue().Items(i).Name().size());
  EXPECT_EQ(longest, kLongestDeviceName);
  EXPECT_EQ(longest, static_cast<std::size_t>(ZYL_DEVICE_NAME_MAX));
}

}  // namespace
