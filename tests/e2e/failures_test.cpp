// How failures of the port, the adapter and the chip reach the client: the
// right exception inside, the right code outside, the connection closed
// afterwards, and no wait beyond its bound.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "core/errors.h"
#include "drivers/isp_programmer.h"
#include "e2e/sim_fixture.h"
#include "image/hex_list.h"

namespace {

using Clock = std::chrono::steady_clock;

// What an export left behind: its code, the code's text and the detail.
struct Outcome {
  int32_t code;
  std::string text, detail;
};

Outcome Observe(int32_t code) { return {code, Zyl_GetLastError(), Zyl_GetErrorDetail()}; }

// The outcome of call, made as an unprivileged user when the test runs as
// root, whom a read-only folder would not stop.
Outcome Unprivileged(int32_t (*call)()) {
  if (geteuid() != 0) return Observe(call());
  int fds[2];
  if (pipe(fds) != 0) return {-1, "no pipe", ""};
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
    const Outcome o = Observe(call());
    const std::string text = std::to_string(o.code) + '\n' + o.text + '\n' + o.detail;
    _exit(write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 11);
  }
  close(fds[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; child > 0 && (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = -1;
  if (child > 0) waitpid(child, &status, 0);
  const std::size_t first = text.find('\n');
  const std::size_t second = text.find('\n', first + 1);
  if (status != 0 || second == std::string::npos) return {-1, "child failed: " + text, ""};
  return {std::stoi(text.substr(0, first)), text.substr(first + 1, second - first - 1),
          text.substr(second + 1)};
}

class Failures : public SimulatedAdapterTest {
 protected:
  // Opens a held connection and runs an operation on the driver directly,
  // returning the failure's message ("" when it succeeds).
  template <typename Exception, typename Op>
  std::string MessageOf(Op op) {
    try {
      op(*zylisp::CurrentSession().Programmer, *zylisp::CurrentSession().Buffer);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  }

  void ExpectClosed() {
    EXPECT_EQ(zylisp::CurrentSession().Programmer, nullptr);
    EXPECT_EQ(zylisp::CurrentSession().Lpt, nullptr);
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
      {'m', "Microwire exchange out of sync", 9},
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

TEST_F(Failures, RefusedPageSizeLeavesTheOneBefore) {
  UseChip("24C02");
  Connect("24C02");
  ASSERT_EQ(Zyl_PROG_Open(), 0);
  EXPECT_EQ(Zyl_SetPageSize(0), 1);
  const std::vector<uint8_t> image = RandomImage(256, 9);
  testing_support::WriteBytes(File("in.bin"), image);
  EXPECT_EQ(Zyl_ProgramEEPROM(File("in.bin").c_str()), 0);
  EXPECT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0);
  EXPECT_EQ(Sim().TargetChip().Memory(), image);
}

TEST_F(Failures, NonHardwareFailuresNameTheirCause) {
  const std::string ini = "/norvex/ZYLISP0001/COMMANDLINE.ini";
  std::unique_ptr<testing_support::ScopedEnv> env;
  const struct {
    const char* name;
    const char* chip;
    const char* extra;
    const char* selected;
    std::function<void()> arrange;
    std::function<Outcome()> act;
    int32_t code;
    std::string detail;  // '@' stands for the test's folder
  } cases[] = {
      {"settings folder read-only", "24C02", "", "24C02",
       [&] {
         std::filesystem::create_directories(File("norvex/ZYLISP0001"));
         testing_support::WriteFile(dir_.Path() + ini, "[Zyl ISP (LPT)]\nClockspeed=2\n");
         chmod(dir_.Path().c_str(), 0755);
         chmod(File("norvex/ZYLISP0001").c_str(), 0555);
       },
       [] { return Unprivileged([] { return Zyl_PROG_Speed(5); }); }, 1,
       "cannot write @" + ini + ": Permission denied"},
      {"settings home is a file", "24C02", "", "24C02",
       [&] {
         testing_support::WriteFile(File("home"), "");
         env =
             std::make_unique<testing_support::ScopedEnv>("XDG_CONFIG_HOME", File("home").c_str());
         ASSERT_EQ(Zyl_PROG_Open(), 0);
       },
       [] { return Observe(Zyl_PROG_Speed(5)); }, 1,
       "cannot write @/home" + ini + ": Not a directory"},
      {"page size 0", "24C02", "", "24C02", [] {}, [] { return Observe(Zyl_SetPageSize(0)); }, 1,
       "page size 0 is not valid for 24C02"},
      {"page size above the device", "24C01", "", "24C01", [] {},
       [] { return Observe(Zyl_SetPageSize(200)); }, 1,
       "page size 200 is larger than the write page of the 24C01 (4 bytes)"},
      {"unknown emulator key", "24C02", "foo=1", "24C02", [] {},
       [] { return Observe(Zyl_TestComms()); }, 4,
       "ZYLISP_LPT_SIM: unknown setting 'foo' "
       "(known: device, fitted, image, org, firmware, identity, pace, latency, rxbuffer, jedecid, fault)"},
      {"emulator image in a missing folder", "24C16", "", "24C16",
       [&] {
         env = std::make_unique<testing_support::ScopedEnv>("ZYLISP_LPT_SIM",
                                                            "device=24C16,image=/nonexist/x.bin");
       },
       [] { return Observe(Zyl_ProgramEEPROM(nullptr)); }, 4,
       "ZYLISP_LPT_SIM: cannot write image /nonexist/x.bin: folder /nonexist: "
       "No such file or directory"},
      {"a format that cannot hold the chip is refused before the read", "24C1024", "",
       "24C1024", [] {},
       [this] { return Observe(Zyl_ReadEEPROM(File("x.tek").c_str(), ZYL_FMT_TEKTRONIX)); }, 1,
       "Tektronix files reach address FFFF only; the 24C1024 holds 131072 bytes: choose Intel "
       "HEX, Motorola S-record or binary"},
      {"emulator holds another part", "24C02", "", "24C16", [] {},
       [] { return Observe(Zyl_ProgramEEPROM(nullptr)); }, 8,
       "ZYLISP_LPT_SIM holds a 24C02, but 24C16 is selected"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UseChip(c.chip, c.extra);
    Connect(c.selected);
    c.arrange();
    const bool held = zylisp::CurrentSession().Programmer != nullptr;
    const std::string settings = std::getenv("XDG_CONFIG_HOME") + ini;
    const std::string before =
        testing_support::FileExists(settings) ? testing_support::ReadFile(settings) : "";
    zylsim::Emulator* sim = zylisp::SimulatedEmulator();
    if (sim) sim->ClearCommandLog();

    const Outcome got = c.act();
    std::string detail = c.detail;
    if (const auto at = detail.find('@'); at != std::string::npos)
      detail.replace(at, 1, dir_.Path());
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.text, zylisp::ResultText(c.code));
    EXPECT_EQ(got.detail, detail);
    // Nothing sent, the chip blank, the settings and a held connection kept.
    if (sim) {
      EXPECT_TRUE(sim->CommandLog().empty());
      EXPECT_EQ(sim->TargetChip().Memory(),
                std::vector<uint8_t>(sim->TargetChip().Memory().size(), 0xFF));
    }
    if (!before.empty()) {
      EXPECT_EQ(testing_support::ReadFile(settings), before);
    }
    EXPECT_EQ(zylisp::CurrentSession().Programmer != nullptr, held);
    if (held) Zyl_PROG_Close();
    env.reset();
  }
  chmod(File("norvex/ZYLISP0001").c_str(), 0755);
}

// The adapter works but the chip does not answer as the selected device:
// the detail names the likely cause, and a read leaves no file.
TEST_F(Failures, ChipThatDoesNotAnswerNamesTheLikelyCause) {
  const std::string noAck =
      "no acknowledge at bus address A2: check the device type and the chip's address pins";
  const std::string outOfSync = "Microwire exchange out of sync: check the Microwire organisation ";
  const struct {
    const char* name;
    const char* selected;
    const char* extra;
    uint8_t progMode;
    Transport transport;
    bool program;
    std::string detail;
  } cases[] = {
      // Before the rows that leave a 24C02's image behind.
      {"24C16 socket empty, read", "24C16", "fitted=none", 8, Transport::Parallel, false,
       "no chip acknowledges on the I2C bus: check that it is fitted, the device type and the "
       "chip's address pins"},
      {"24C16 socket empty, program on COM", "24C16", "fitted=none", 8, Transport::Serial, true,
       "no chip acknowledges on the I2C bus: check that it is fitted, the device type and the "
       "chip's address pins"},
      {"24C02 in place of a 24C16, read", "24C16", "fitted=24C02", 8, Transport::Parallel, false, noAck},
      {"24C02 in place of a 24C16, program", "24C16", "fitted=24C02", 8, Transport::Parallel, true,
       noAck + "; the chip is now partly written: about 240 of 2048 bytes were written before "
               "the failure"},
      {"24C02 in place of a 24C16, read on COM", "24C16", "fitted=24C02", 8, Transport::Serial, false,
       noAck},
      {"93C46 wired x16, read as 8", "93C46", "org=16", 8, Transport::Parallel, false,
       outOfSync + "(--programmode=16)"},
      {"93C46 wired x8, read as 16", "93C46", "", 16, Transport::Parallel, false,
       outOfSync + "(--programmode=8)"},
      {"93C46 socket empty, read", "93C46", "fitted=none", 8, Transport::Parallel, false,
       outOfSync + "(--programmode=16)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UseChip(c.selected, c.extra, c.transport);
    Connect(c.selected, c.progMode);
    const std::string out = File(std::string(c.name) + ".bin");
    testing_support::WriteBytes(File("in.bin"), RandomImage(2048, 3));
    const int32_t code = c.program ? Zyl_ProgramEEPROM(File("in.bin").c_str())
                                   : Zyl_ReadEEPROM(out.c_str(), ZYL_FMT_BINARY);
    EXPECT_EQ(code, 9);
    EXPECT_EQ(Zyl_GetErrorDetail(), c.detail);
    EXPECT_FALSE(testing_support::FileExists(out));
    ExpectClosed();
  }
}

TEST_F(Failures, ModeWithoutAProgrammerKindOpensNothing) {
  UseChip("24C02");
  Connect("24C02");
  Zyl_SetMode(3);
  EXPECT_EQ(Zyl_TestComms(), 2);
  EXPECT_EQ(Zyl_EraseAllDevice(), 2);
  EXPECT_EQ(Zyl_PROG_Open(), 2);
  EXPECT_EQ(zylisp::CurrentSession().Programmer, nullptr);
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
