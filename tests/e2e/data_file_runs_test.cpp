// Program and verify from a data file that is damaged or holds no data:
// refused with 1 before the connection opens, the chip left as it was.
// Blanks around records are no damage, and a file of only an end record
// is a blank chip.
#include <map>

#include "e2e/sim_fixture.h"

namespace {

class DataFileRuns : public SimulatedAdapterTest {
 protected:
  std::vector<uint8_t> ReadBack() {
    EXPECT_EQ(Zyl_ReadEEPROM(File("back.bin").c_str(), ZYL_FMT_BINARY), 0) << Zyl_GetLastError();
    return testing_support::ReadBytes(File("back.bin"));
  }
};

TEST_F(DataFileRuns, OnlyFilesThatLoadDataReachTheChip) {
  const struct {
    const char* name;
    std::string text;
    const char* detail;  // after the file's name; empty when the run goes ahead
    std::map<int, uint8_t> programmed;  // the bytes other than FF, when it runs
  } cases[] = {
      {"empty file", "", " holds no data", {}},
      // The backup of a blank chip: the chip is programmed blank.
      {"an end record only", ":00000001FF\r\n", "", {}},
      {"a damaged record", ":020010001234A8\r\n:02001200G4CA\r\n",
       " line 2: 'G' is not a hex digit", {}},
      {"blanks around records", "  :020010001234A8\t\r\n\t:00000001FF  \r\n", "",
       {{0x10, 0x12}, {0x11, 0x34}}},
  };
  UseChip("24C02");
  Connect("24C02");
  const std::vector<uint8_t> data = RandomImage(256, 5);
  testing_support::WriteBytes(File("chip.bin"), data);
  const std::string file = File("data.hex");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Zyl_ProgramEEPROM(File("chip.bin").c_str()), 0) << Zyl_GetLastError();
    std::vector<uint8_t> chip = data;
    testing_support::WriteFile(file, c.text);
    const bool runs = *c.detail == '\0';
    Sim().ClearCommandLog();
    EXPECT_EQ(Zyl_ProgramEEPROM(file.c_str()), runs ? 0 : 1);
    EXPECT_EQ(Zyl_GetErrorDetail(), runs ? "" : file + c.detail);
    EXPECT_EQ(Zyl_VerifyEEPROM(file.c_str()), runs ? 0 : 1);
    EXPECT_EQ(Zyl_GetErrorDetail(), runs ? "" : file + c.detail);
    EXPECT_EQ(Sim().CommandLog().empty(), !runs);
    if (runs) {
      chip.assign(256, 0xFF);
      for (const auto& [address, value] : c.programmed) chip[static_cast<std::size_t>(address)] = value;
    }
    EXPECT_EQ(ReadBack(), chip);
  }
}

}  // namespace
