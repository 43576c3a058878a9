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
    const auto& log = Sim().CommandLog();
    EXPECT_NE(std::find(log.begin(), log.end(), std::vector<uint8_t>{'E', '0', '5'}), log.end());
  }
}

}  // namespace
