// Port selection, the held connection, values that reach operations only
// inside it, progress, and the clock speed kept for later runs.
#include <algorithm>
#include <cstring>

#include "devices/device.h"
#include "e2e/sim_fixture.h"

namespace {

using Command = std::vector<uint8_t>;

class Connection : public SimulatedAdapterTest {};

TEST_F(Connection, PortsAreListedAndSelectedByName) {
  UseChip("24C02");
  EXPECT_EQ(Zyl_GetNumPorts(ZYL_MODE_PARALLEL), 1);
  EXPECT_EQ(zylisp::CurrentSession().Device, nullptr);
  EXPECT_EQ(zylisp::CurrentSession().LastResult, 8);
  char name[ZYL_PORT_NAME_SIZE] = "untouched";
  EXPECT_EQ(Zyl_GetPort(0, name, ZYL_MODE_PARALLEL), 0);
  EXPECT_STREQ(name, "LPT1");
  std::strcpy(name, "untouched");
  EXPECT_EQ(Zyl_GetPort(5, name, ZYL_MODE_PARALLEL), 0);
  EXPECT_STREQ(name, "untouched");

  EXPECT_EQ(Zyl_InitProgrammer("LPT7", "24C02", ZYL_MODE_PARALLEL), 1);
  EXPECT_EQ(zylisp::CurrentSession().LastResult, 1);
  EXPECT_EQ(Zyl_InitProgrammer("LPT1", "NOPE", ZYL_MODE_PARALLEL), 0);
  EXPECT_EQ(Zyl_TestComms(), 2);
  EXPECT_EQ(Zyl_InitProgrammer("LPT1", "24C02", ZYL_MODE_PARALLEL), 0);
  EXPECT_EQ(zylisp::CurrentSession().Port, 1);
  EXPECT_EQ(zylisp::CurrentSession().ProgMode, 8);
  EXPECT_EQ(Zyl_TestComms(), 0);
}

TEST_F(Connection, HeldConnectionServesSeveralCalls) {
  UseChip("24C02");
  Connect("24C02");
  EXPECT_EQ(Zyl_PROG_Close(), 3);  // nothing held yet
  ASSERT_EQ(Zyl_PROG_Open(), 0);
  Sim().ClearCommandLog();
  EXPECT_EQ(Zyl_TestComms(), 0);
  EXPECT_TRUE(Sim().CommandLog().empty());  // nothing sent for a held connection
  EXPECT_EQ(Zyl_ProgramEEPROM(nullptr), 0);
  EXPECT_EQ(Zyl_VerifyEEPROM(nullptr), 0);
  EXPECT_NE(zylisp::CurrentSession().Programmer, nullptr);
  EXPECT_EQ(Zyl_PROG_Close(), 0);
  EXPECT_EQ(zylisp::CurrentSession().Programmer, nullptr);
  EXPECT_FALSE(zylisp::CurrentSession().KeepOpen);
}

TEST_F(Connection, BusAddressAndPageSizeReachOperationsOnlyInsideAHeldConnection) {
  UseChip("24C02");
  Connect("24C02");
  // Without a held connection the open puts the device's values back.
  Zyl_SetBusAddress(0xA4);
  Zyl_SetPageSize(2);
  Sim().ClearCommandLog();
  ASSERT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0);
  auto log = Sim().CommandLog();
  EXPECT_NE(std::find(log.begin(), log.end(), Command{'w', 0xA1}), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), Command{'R', 4}), log.end());

  ASSERT_EQ(Zyl_PROG_Open(), 0);
  Zyl_SetPageSize(2);
  Sim().ClearCommandLog();
  ASSERT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0);
  log = Sim().CommandLog();
  EXPECT_NE(std::find(log.begin(), log.end(), Command{'R', 2}), log.end());

  Zyl_SetBusAddress(0xA4);
  Sim().ClearCommandLog();
  // The chip is strapped to 0xA0 and does not answer; only the control
  // bytes on the wire matter here.
  Zyl_ReadEEPROM(nullptr, 0);
  log = Sim().CommandLog();
  EXPECT_NE(std::find(log.begin(), log.end(), Command{'w', 0xA4}), log.end());
  EXPECT_EQ(std::find(log.begin(), log.end(), Command{'w', 0xA1}), log.end());
}

std::vector<std::pair<int32_t, int32_t>> g_progress;
void ZYL_CALL RecordProgress(int32_t done, int32_t total) { g_progress.emplace_back(done, total); }

TEST_F(Connection, ProgressReachesTheClient) {
  UseChip("24C02");
  Connect("24C02");
  g_progress.clear();
  Zyl_SetProgressHandler(RecordProgress);
  ASSERT_EQ(Zyl_ProgramEEPROM(nullptr), 0);
  Zyl_SetProgressHandler(nullptr);
  ASSERT_FALSE(g_progress.empty());
  EXPECT_EQ(g_progress.front(), std::make_pair(0, 256));
  EXPECT_EQ(g_progress.back(), std::make_pair(252, 256));
  for (const auto& p : g_progress) EXPECT_EQ(p.second, 256);
  EXPECT_TRUE(std::is_sorted(g_progress.begin(), g_progress.end()));
}

TEST_F(Connection, ClockSpeedIsKeptForLaterRuns) {
  UseChip("24C02");
  Connect("24C02");
  EXPECT_EQ(Zyl_PROG_Speed(3), 0);
  EXPECT_EQ(zylisp::CurrentSession().Programmer, nullptr);  // nothing left open
  const std::string ini =
      testing_support::ReadFile(File("norvex/ZYLISP0001/COMMANDLINE.ini"));
  EXPECT_NE(ini.find("[Zyl ISP (LPT)]"), std::string::npos);
  EXPECT_NE(ini.find("Clockspeed=3"), std::string::npos);

  // The next connection sends the stored speed to the adapter.
  Sim().ClearCommandLog();
  ASSERT_EQ(Zyl_TestComms(), 0);
  const auto& log = Sim().CommandLog();
  EXPECT_NE(std::find(log.begin(), log.end(), Command{'E', '0', '3'}), log.end());

  // With a held connection the speed replaces it by a new one.
  ASSERT_EQ(Zyl_PROG_Open(), 0);
  Sim().ClearCommandLog();
  EXPECT_EQ(Zyl_PROG_Speed(0x1F), 0);
  EXPECT_NE(zylisp::CurrentSession().Programmer, nullptr);
  const auto& after = Sim().CommandLog();
  EXPECT_NE(std::find(after.begin(), after.end(), Command{'E', '1', 'F'}), after.end());
}

TEST_F(Connection, SettersNeedNoConnection) {
  EXPECT_EQ(Zyl_PROG_EE_Time(9), 0);  // no device: nothing changes
  Zyl_SetDevice("93C46");
  EXPECT_EQ(Zyl_PROG_EE_Time(10), 0);
  Zyl_SetDevice("24C02");
  Zyl_SetDevice("93C46");
  EXPECT_EQ(zylisp::DeviceWriteTime(*zylisp::CurrentSession().Device), 10);
  Zyl_PROG_EE_Time(6);
  EXPECT_EQ(Zyl_SetSerialNum(1, 2), 0);
  EXPECT_EQ(Zyl_SetResetPolarity(1), 0);
  EXPECT_EQ(Zyl_WriteProgMode(16), 0);
  EXPECT_EQ(zylisp::CurrentSession().ProgMode, 16);
}

}  // namespace
