#include <gtest/gtest.h>

#include "core/errors.h"
#include "devices/hardware_registry.h"
#include "drivers/isp_programmer.h"

using namespace zylisp;

namespace {

class FakeProgrammer : public TISPProgrammer {
 public:
  void Program(THexList&) override {}
  void Verify(THexList&) override {}
  void Read(THexList&) override {}
  void EraseAll() override {}
  uint8_t ReadStatus() override { return 0; }
  void WriteStatus(uint8_t) override {}
  void SetResetPolarity(uint8_t) override {}
  bool Open() override { return true; }
  void Close() override {}
  void CheckFirmware() override {}
  void LoadSettings() override {}
  void SaveSettings() override {}
  void GetFirmwareVersion(std::string& v) override { v = "TEST"; }
};

std::unique_ptr<TISPProgrammer> MakeFake() { return std::make_unique<FakeProgrammer>(); }

TEST(HardwareRegistry, CreatesByNameIgnoringCaseAndNamesTheDriver) {
  const int before = HardwareCount();
  RegisterHardware("Test Kind (X)", uint8_t{4}, MakeFake, 1);
  ASSERT_EQ(HardwareCount(), before + 1);
  EXPECT_EQ(HardwareKind(before).Name, "TEST KIND (X)");
  EXPECT_EQ(FindHardware("test kind (x)"), before);

  std::unique_ptr<TISPProgrammer> driver = CreateHardware("test KIND (x)");
  ASSERT_NE(driver, nullptr);
  EXPECT_NE(dynamic_cast<FakeProgrammer*>(driver.get()), nullptr);
  EXPECT_EQ(driver->GetName(), "TEST KIND (X)");

  // A later registration under the same name wins.
  RegisterHardware("TEST KIND (X)", uint8_t{4}, MakeFake, 1);
  EXPECT_EQ(FindHardware("Test Kind (X)"), before + 1);
}

TEST(HardwareRegistry, UnknownKindRaisesTheInternalError) {
  EXPECT_EQ(FindHardware("no such kind"), -1);
  try {
    CreateHardware("no such kind");
    FAIL() << "no exception";
  } catch (const EISPException& e) {
    EXPECT_EQ(e.Message(), "Internal error: Invalid Hardware Select");
  }
}

TEST(ProgrammerBase, ProgressGoesToTheInstalledSinkOnly) {
  FakeProgrammer p;
  p.DoProgress(1, 2);  // no sink: nothing happens
  std::vector<std::pair<int32_t, int32_t>> seen;
  p.SetOnProgress([&](int32_t d, int32_t t) { seen.emplace_back(d, t); });
  p.DoProgress(0, 256);
  p.DoProgress(128, 256);
  EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{0, 256}, {128, 256}}));
}

}  // namespace
