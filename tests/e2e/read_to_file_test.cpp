// Reading a chip into a file: a format number no writer knows fails and
// leaves an earlier file of that name as it was.
#include "e2e/sim_fixture.h"

namespace {

class ReadToFile : public SimulatedAdapterTest {};

TEST_F(ReadToFile, UnknownFormatFailsAndKeepsTheFile) {
  UseChip("24C02");
  Connect("24C02");
  const std::string backup = File("backup");
  testing_support::WriteFile(backup, "earlier backup");
  Sim().ClearCommandLog();
  for (uint8_t format : {0, 11, 200}) {
    SCOPED_TRACE(int(format));
    EXPECT_EQ(Zyl_ReadEEPROM(backup.c_str(), format), 1);
    EXPECT_EQ(testing_support::ReadFile(backup), "earlier backup");
  }
  EXPECT_TRUE(Sim().CommandLog().empty());  // the chip was not even read
}

}  // namespace
