// Reading a chip into a file: a file that cannot be written fails with its
// reason, before the chip is read when that can be known, and leaves an
// earlier file of that name as it was.
#include "e2e/sim_fixture.h"

namespace {

class ReadToFile : public SimulatedAdapterTest {};

TEST_F(ReadToFile, UnwritableTargetFailsAndKeepsTheFile) {
  struct Row {
    const char* target;  // in the test's folder; "" for a full device
    uint8_t format;
    const char* reason;  // the system's reason in the detail, "" for none
    bool chipRead;
  };
  const Row rows[] = {
      {"backup", 0, "", false},
      {"backup", 11, "", false},
      {"backup", 200, "", false},
      {"missing/a.hex", 1, "No such file or directory", false},
      {"backup/a.hex", 1, "Not a directory", false},
      {"", 1, "No space left on device", true},
  };
  UseChip("24C02");
  Connect("24C02");
  const std::string backup = File("backup");
  testing_support::WriteFile(backup, "earlier backup");
  const std::string folder = File("").substr(0, File("").size() - 1);
  const std::string full = testing_support::MemoryDevice(folder, "full", 7);
  for (const Row& row : rows) {
    const std::string target = *row.target ? File(row.target) : full;
    if (target.empty()) continue;  // no device node can be made here
    SCOPED_TRACE(target + " format " + std::to_string(row.format));
    Sim().ClearCommandLog();
    EXPECT_EQ(Zyl_ReadEEPROM(target.c_str(), row.format), 1);
    // The detail is shown only while 1 is the recorded result.
    EXPECT_EQ(std::string(Zyl_GetErrorDetail()),
              *row.reason ? "cannot write " + target + ": " + row.reason : "");
    EXPECT_EQ(testing_support::ReadFile(backup), "earlier backup");
    EXPECT_EQ(Sim().CommandLog().empty(), !row.chipRead);
  }
}

}  // namespace
