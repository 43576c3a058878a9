// How failures of the port, the adapter and the chip reach the client: the
// right exception inside, the right code outside, the connection closed
// afterwards, and no wait beyond its bound.
#include <chrono>

#include "core/errors.h"
#include "drivers/isp_programmer.h"
#include "e2e/sim_fixture.h"
#include "image/hex_list.h"

namespace {

using Clock = std::chrono::steady_clock;

class Failures : public SimulatedAdapterTest {
 protected:
  // Opens a held connection and runs an operation on the driver directly,
  // returning the failure's message ("" when it succeeds).
  template <typename Exception, typename Op>
  std::string MessageOf(Op op) {
    try {
      op(*zylisp::ApiState().Programmer, *zylisp::ApiState().Buffer);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  }

  void ExpectClosed() {
    EXPECT_EQ(zylisp::ApiState().Programmer, nullptr);
    EXPECT_EQ(zylisp::ApiState().Settings, nullptr);
    EXPECT_EQ(zylisp::ApiState().Lpt, nullptr);
  }
};

TEST_F(Failures, NoUsablePortGivesHardwareCode) {
  testing_support::ScopedEnv noSim("ZYLISP_LPT_SIM", nullptr);
  testing_support::ScopedEnv noPorts("ZYLISP_PARPORT_DIR", File("none").c_str());
  Zyl_SetDevice("24C02");
  Zyl_SetMode(ZYL_MODE_PARALLEL);
  Zyl_SetPort(1);
  EXPECT_EQ(Zyl_TestComms(), 3);
  ExpectClosed();
  EXPECT_EQ(Zyl_ProgramEEPROM(nullptr), 3);
  ExpectClosed();
}

TEST_F(Failures, SilentAdapterIsNotDetectedWithinTheReadyBound) {
  UseChip("24C02", "fault=silent");
  Connect("24C02");
  const auto start = Clock::now();
  EXPECT_EQ(Zyl_PROG_Open(), 3);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
  EXPECT_EQ(Zyl_PROG_Close(), 0);
  ExpectClosed();
}

TEST_F(Failures, WrongIdentityOrVersionAsksForAFirmwareUpdate) {
  for (const char* extra : {"identity=EEPROMISX", "firmware=000B", "firmware=000a"}) {
    SCOPED_TRACE(extra);
    UseChip("24C02", extra);
    Connect("24C02");
    EXPECT_EQ(Zyl_TestComms(), 12);
    EXPECT_STREQ(Zyl_GetLastError(),
                 "Firmware update is required for the DLL to work with this programmer");
    ExpectClosed();
  }
}

TEST_F(Failures, BadEchoFailsTheCommand) {
  UseChip("24C02", "fault=badecho");
  Connect("24C02");
  EXPECT_EQ(Zyl_TestComms(), 3);
  ExpectClosed();
}

TEST_F(Failures, ErrorRepliesMapToTheirFailures) {
  struct Case {
    char code;
    const char* message;
    int32_t result;
  };
  const Case cases[] = {
      {'!', "Command not known here", 3},
      {'#', "Invalid number sent", 3},
      {'%', "BlankCheck Failed", 3},
      {'M', "illegal attempt to use microwire", 3},
      {'T', "Program/erase BUSY timed out", 3},
      {'V', "Your target device failed verification", 10},
      {'m', "Microwire exchange out of sync", 3},
      {'z', "Communications with ISP failed during this operation", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.code));
    UseChip("24C02", std::string("fault=error:W:1:") + c.code);
    Connect("24C02");
    EXPECT_EQ(Zyl_ProgramEEPROM(nullptr), c.result);
    ExpectClosed();

    // A fresh adapter: the configuration differs, so the fault is armed again.
    UseChip("24C02", std::string("fault=error:W:1:") + c.code + ",firmware=000A");
    ASSERT_EQ(Zyl_PROG_Open(), 0);
    std::string message;
    if (c.code == 'V') {
      message = MessageOf<zylisp::EVerifyError>(
          [](zylisp::TISPProgrammer& p, zylisp::THexList& image) { p.Program(image); });
    } else {
      message = MessageOf<zylisp::EISPException>(
          [](zylisp::TISPProgrammer& p, zylisp::THexList& image) { p.Program(image); });
    }
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(Zyl_PROG_Close(), 0);
  }
}

TEST_F(Failures, SelectionFailingOnceIsMendedByOneReconnect) {
  // The first 'M' comes with the open, the second with the operation.
  UseChip("24C02", "fault=error:M:2:!");
  Connect("24C02");
  const std::vector<uint8_t> image = RandomImage(256, 7);
  testing_support::WriteBytes(File("in.bin"), image);
  EXPECT_EQ(Zyl_ProgramEEPROM(File("in.bin").c_str()), 0) << Zyl_GetLastError();
  EXPECT_EQ(Sim().TargetChip().Memory(), image);
}

TEST_F(Failures, UnusablePageSizesFailInsteadOfLooping) {
  UseChip("24C02");
  Connect("24C02");
  ASSERT_EQ(Zyl_PROG_Open(), 0);
  Zyl_SetPageSize(0);
  EXPECT_EQ(Zyl_ProgramEEPROM(nullptr), 3);
  EXPECT_EQ(Zyl_ReadEEPROM(nullptr, 0), 3);
}

TEST_F(Failures, ModeWithoutAProgrammerKindOpensNothing) {
  UseChip("24C02");
  Connect("24C02");
  Zyl_SetMode(3);
  EXPECT_EQ(Zyl_TestComms(), 2);
  EXPECT_EQ(Zyl_EraseAllDevice(), 2);
  EXPECT_EQ(Zyl_PROG_Open(), 2);
  EXPECT_EQ(zylisp::ApiState().Programmer, nullptr);
  EXPECT_EQ(zylisp::ApiState().Settings, nullptr);
}

TEST_F(Failures, SerialKindWithoutItsDriverFailsCleanly) {
  Zyl_SetDevice("24C02");
  Zyl_SetMode(ZYL_MODE_SERIAL);
  Zyl_SetPort(1);
  EXPECT_EQ(Zyl_TestComms(), 3);
  EXPECT_EQ(Zyl_PROG_Open(), 3);
  // The held connection has no driver: operations fail, nothing crashes.
  EXPECT_EQ(Zyl_EraseAllDevice(), 3);
  EXPECT_EQ(Zyl_ReadEEPROM(nullptr, 0), 3);
  EXPECT_EQ(Zyl_PROG_Close(), 0);
  ExpectClosed();
}

TEST_F(Failures, FileThatCannotBeLoadedSendsNothing) {
  UseChip("24C02");
  Connect("24C02");
  Sim().ClearCommandLog();
  EXPECT_EQ(Zyl_ProgramEEPROM(File("missing.hex").c_str()), 1);
  std::vector<uint8_t> tooBig(257, 0);
  testing_support::WriteBytes(File("big.bin"), tooBig);
  EXPECT_EQ(Zyl_VerifyEEPROM(File("big.bin").c_str()), 6);
  EXPECT_TRUE(Sim().CommandLog().empty());
}

}  // namespace
