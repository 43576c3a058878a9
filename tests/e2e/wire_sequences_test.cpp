// What reaches the adapter on the wire for the addressing examples of each
// bus kind, read from the emulator's command log.
#include <algorithm>
#include <deque>

#include "e2e/sim_fixture.h"

namespace {

using Command = std::vector<uint8_t>;

// True when the log holds the commands one right after the other.
bool HasRun(const std::deque<Command>& log, const std::vector<Command>& run) {
  return std::search(log.begin(), log.end(), run.begin(), run.end()) != log.end();
}

Command W(uint8_t b) { return {'w', b}; }

class WireSequences : public SimulatedAdapterTest {
 protected:
  void ProgramBlank(const std::string& device, uint8_t org = 8) {
    UseChip(device, "org=" + std::to_string(org));
    Connect(device, org);
    Sim().ClearCommandLog();
    ASSERT_EQ(Zyl_ProgramEEPROM(nullptr), 0) << Zyl_GetLastError();
  }
};

TEST_F(WireSequences, I2CBlockBitsAndSecondAddressByte) {
  ProgramBlank("24C16");
  // The page at 0x5A0: block bits 101 in the control byte, one address byte.
  EXPECT_TRUE(HasRun(Sim().CommandLog(), {{'X'}, W(0xAA), W(0xA0)}));

  ProgramBlank("24C1024");
  // 0x1FF80: address bit 16 in the control byte, then two address bytes.
  EXPECT_TRUE(HasRun(Sim().CommandLog(), {{'X'}, W(0xA2), W(0xFF), W(0x80)}));
}

TEST_F(WireSequences, Spi512ByteReadCarriesA8InTheOpcode) {
  UseChip("25040");
  Connect("25040");
  Sim().ClearCommandLog();
  ASSERT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0) << Zyl_GetLastError();
  EXPECT_TRUE(HasRun(Sim().CommandLog(), {{'X'}, W(0x0B), W(0xF0), {'R', 16}}));
}

TEST_F(WireSequences, MicrowireWordWideWriteCommand) {
  ProgramBlank("93C46", 16);
  // Byte address 0x40 is word 0x20: 0xA000 | (0x20 << 7), nine bits, then
  // the high byte (image 0x41) and the low byte (image 0x40).
  EXPECT_TRUE(HasRun(Sim().CommandLog(), {{'W', 9, 0xB0, 0x00}, W(0xFF), W(0xFF)}));
}

TEST_F(WireSequences, EveryPassIsBracketed) {
  ProgramBlank("24C02");
  const auto& log = Sim().CommandLog();
  const auto begin = std::count(log.begin(), log.end(), Command{'%'});
  const auto end = std::count(log.begin(), log.end(), Command{'$'});
  EXPECT_EQ(begin, 1);
  EXPECT_EQ(end, 1);
}

}  // namespace
