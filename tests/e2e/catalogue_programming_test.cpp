// Every catalogue device programmed, verified, read back and erased through
// the exports, with the chip model checked after each step.
#include <algorithm>

#include "e2e/sim_fixture.h"
#include "image/hex_list.h"

namespace {

struct DeviceCase {
  std::string name;
  int org;
};

void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.name << " org " << c.org; }

std::vector<DeviceCase> AllDevices() {
  std::vector<DeviceCase> cases;
  char name[ZYL_DEVICE_NAME_SIZE];
  for (int bus = 0; bus < 3; ++bus) {
    for (uint32_t i = 0; Zyl_GetDevice(bus, i, name) == 0; ++i) {
      cases.push_back({name, 8});
      if (bus == ZYL_BUS_MICROWIRE) cases.push_back({name, 16});
    }
  }
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<DeviceCase>& info) {
  std::string s = info.param.name + "_org" + std::to_string(info.param.org);
  for (char& c : s)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return s;
}

class EveryDevice : public SimulatedAdapterTest,
                    public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(EveryDevice, ProgramVerifyReadEraseRoundTrip) {
  const DeviceCase& dc = GetParam();
  UseChip(dc.name, "org=" + std::to_string(dc.org));
  Connect(dc.name, static_cast<uint8_t>(dc.org));
  const int32_t size = Zyl_GetBufferSize(ZYL_AREA_EEPROM);
  ASSERT_GT(size, 0);

  const std::vector<uint8_t> image = RandomImage(static_cast<std::size_t>(size), 
                                                 static_cast<unsigned>(size) + dc.org);
  testing_support::WriteBytes(File("in.bin"), image);

  ASSERT_EQ(Zyl_ProgramEEPROM(File("in.bin").c_str()), 0) << Zyl_GetLastError();
  EXPECT_EQ(Sim().TargetChip().Memory(), image);

  EXPECT_EQ(Zyl_VerifyEEPROM(File("in.bin").c_str()), 0);

  ASSERT_EQ(Zyl_ReadEEPROM(File("out.bin").c_str(), ZYL_FMT_BINARY), 0);
  EXPECT_EQ(testing_support::ReadBytes(File("out.bin")), image);

  ASSERT_EQ(Zyl_EraseAllDevice(), 0);
  const auto& erased = Sim().TargetChip().Memory();
  EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](uint8_t b) { return b == 0xFF; }));

  // The connection of each operation was closed again.
  EXPECT_EQ(zylisp::ApiState().Programmer, nullptr);
  EXPECT_EQ(zylisp::ApiState().Lpt, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryDevice, ::testing::ValuesIn(AllDevices()), CaseName);

TEST(EveryDeviceList, CoversTheWholeCatalogue) {
  EXPECT_EQ(AllDevices().size(), 51u + 7u);
}

}  // namespace
