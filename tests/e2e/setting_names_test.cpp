// Stored settings whose names differ in case from the library's own: the
// port the caller chose and the speed set through the exports win over them,
// and the speed repairs a stored one that cannot be used.
#include <algorithm>
#include <filesystem>

#include "e2e/sim_fixture.h"

namespace {

class SettingNames : public SimulatedAdapterTest {
 protected:
  void Store(const std::string& text) {
    const std::string folder = File("norvex/ZYLISP0001");
    std::filesystem::create_directories(folder);
    testing_support::WriteFile(folder + "/COMMANDLINE.ini", text);
  }
  std::string Stored() {
    return testing_support::ReadFile(File("norvex/ZYLISP0001/COMMANDLINE.ini"));
  }
  bool AdapterHeard(const std::vector<uint8_t>& command) {
    const auto& log = Sim().CommandLog();
    return std::find(log.begin(), log.end(), command) != log.end();
  }
};

TEST_F(SettingNames, CallersPortAndSpeedWinWhateverTheStoredCase) {
  const struct {
    const char* name;
    const char* stored;
  } cases[] = {
      {"speed in lower case", "[Zyl ISP (LPT)]\nclockspeed=7\n"},
      {"empty speed in a section spelt otherwise", "[ZYl ISP (LPT)]\nClockspeed=\n"},
      {"stray port in lower case", "[Zyl ISP (LPT)]\nbaseport=1\n"},
  };
  UseChip("24C02");
  Connect("24C02");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Store(c.stored);
    EXPECT_EQ(Zyl_PROG_Speed(5), 0);
    Sim().ClearCommandLog();
    EXPECT_EQ(Zyl_TestComms(), 0);
    EXPECT_TRUE(AdapterHeard({'E', '0', '5'}));
  }
}

TEST_F(SettingNames, UnusableStoredValuesAreIgnoredAndRepaired) {
  const struct {
    const char* line;
    bool replaced;  // by the speed stored next
  } cases[] = {
      {"Clockspeed=ff", true},  {"Clockspeed=", true},
      {"Clockspeed=1e3", true}, {"Clockspeed=99999999999999999999", true},
      {"Clockspeed=256", true}, {"EEPROMtime=ff", false},
  };
  UseChip("24C02");
  Connect("24C02");
  const std::vector<uint8_t> image = RandomImage(256, 21);
  testing_support::WriteBytes(File("in.bin"), image);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Store(std::string("[Zyl ISP (LPT)]\n") + c.line + "\n");
    Sim().TargetChip().Memory().assign(256, 0xFF);
    Sim().ClearCommandLog();
    ASSERT_EQ(Zyl_ProgramEEPROM(File("in.bin").c_str()), 0) << Zyl_GetLastError();
    ExpectChipHolds(image);
    EXPECT_TRUE(AdapterHeard({'E', '0', '1'}));  // the default speed

    ASSERT_EQ(Zyl_PROG_Speed(5), 0);
    EXPECT_EQ(Stored(), "[Zyl ISP (LPT)]\n" +
                            std::string(c.replaced ? "" : c.line + std::string("\n")) +
                            "Clockspeed=5\n");
  }
}

}  // namespace
