// Whole command lists through velkoisp, once over the simulated LPT1 and
// once over zylsim on COM1; every chip change is read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "tool_fixture.h"

using namespace tool_testing;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

class CommandListTest : public ::testing::TestWithParam<std::string> {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::vector<uint8_t> Bytes(const std::string& name) const {
    return testing_support::ReadBytes(File(name));
  }
  const std::string& Transport() const { return GetParam(); }

  TempDir dir_;
  const std::vector<uint8_t> data_ = RandomBytes(2048, 1);
  const std::vector<uint8_t> data2_ = RandomBytes(2048, 2);
  void SetUp() override {
    WriteBytes(File("data.bin"), data_);
    WriteBytes(File("data2.bin"), data2_);
  }
};

TEST_P(CommandListTest, RunsEveryCommandInOrderAndReadsTheChipBack) {
  Adapter adapter(Transport(), "24C16", dir_.Path());
  const RunResult run = adapter.Run(
      "24c16", {"--binary", "--eraseall", "--readeeprom=" + File("blank.bin"),
                "--programeeprom=" + File("data.bin"), "--verifyeeprom=" + File("data.bin"),
                "--setbusaddress=a0", "--readeeprom=" + File("back.bin"),
                "--setprogramspeed=3", "--mcureset=1", "--devtype=3", "--setserialnum=7",
                "--seteedelay=05", "--programmode=8", "--setpagesize=8",
                "--programeeprom=" + File("data2.bin"),
                "--readeeprom=" + File("back2.bin")});
  EXPECT_EQ(run.status, 0);
  const std::string d = dir_.Path();
  EXPECT_EQ(AfterBanner(run.out),
            "Programmer Firmware Version : 000A\n\n"
            "Erasing Device:  OK \n"
            "Reading eeprom into " + d + "/blank.bin:  OK \n"
            "Programming EEPROM with " + d + "/data.bin:  OK \n"
            "Verifying eeprom against " + d + "/data.bin:  OK \n"
            "Setting Bus Address value to a0 OK \n"
            "Reading eeprom into " + d + "/back.bin:  OK \n"
            "Setting program speed value to 03 OK \n"
            "Setting reset OK \n"
            "Setting Devicetype OK \n"
            "Setting Serial Number value to 07 OK \n"
            "Setting EE delay value to 05 OK \n"
            "Writing programming mode OK \n"
            "Setting Page Size value to 08 OK \n"
            "Programming EEPROM with " + d + "/data2.bin:  OK \n"
            "Reading eeprom into " + d + "/back2.bin:  OK \n");
  const std::vector<uint8_t> blank(2048, 0xFF);
  EXPECT_EQ(Bytes("blank.bin"), blank);
  EXPECT_EQ(Bytes("back.bin"), data_);
  EXPECT_EQ(Bytes("back2.bin"), data2_);
  // The speed persists for later runs, in the port kind's section.
  const std::string kind = Transport() == "LPT1" ? "LPT" : "COM";
  EXPECT_NE(ReadFile(File("norvex/ZYLISP0001/COMMANDLINE.ini"))
                .find("[Zyl ISP (" + kind + ")]\nClockspeed=3\n"),
            std::string::npos);
}

TEST_P(CommandListTest, ReadsInEachOutputFormat) {
  Adapter adapter(Transport(), "24C16", dir_.Path());
  SaveImage("24C16", data_, File("data.hex"), ZYL_FMT_INTEL_HEX);
  const std::string program = "--programeeprom=" + File("data.hex");
  const std::string read = "--readeeprom=" + File("out0");
  const std::string read2 = "--readeeprom=" + File("out1");
  // Each read writes the format in force where it stands: the last format
  // option, --programeeprom or --verifyeeprom before it.
  const struct {
    std::vector<std::string> args;
    std::vector<int32_t> formats;  // of out0, out1
  } rows[] = {
      {{program, "--intel", read}, {ZYL_FMT_INTEL_HEX}},
      {{program, "--motorola", read}, {ZYL_FMT_MOTOROLA_S1}},
      {{read, "--tektronix", program}, {ZYL_FMT_INTEL_HEX}},
      {{program, read, "--tektronix"}, {ZYL_FMT_INTEL_HEX}},
      {{program, "--exttektronix", read}, {ZYL_FMT_EXTENDED_TEKTRONIX}},
      {{program, "--binary", read}, {ZYL_FMT_BINARY}},
      {{"--binary", read, "--motorola", read2}, {ZYL_FMT_BINARY, ZYL_FMT_MOTOROLA_S1}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    const RunResult run = adapter.Run("24C16", row.args);
    EXPECT_EQ(run.status, 0) << run.out;
    for (std::size_t i = 0; i < row.formats.size(); ++i) {
      const std::string out = File("out" + std::to_string(i));
      EXPECT_EQ(Zyl_IdentifyFile(out.c_str()), row.formats[i]);
      EXPECT_EQ(LoadImage("24C16", out), data_);
      std::remove(out.c_str());
    }
  }
}

TEST_P(CommandListTest, AFailingCommandStopsTheList) {
  Adapter adapter(Transport(), "24C16", dir_.Path());
  // The chip holds data.bin: the verify against data2.bin fails, and the
  // erase after it must not run.
  RunResult run = adapter.Run("24C16", {"--programeeprom=" + File("data.bin"),
                                        "--verifyeeprom=" + File("data2.bin"), "--eraseall"});
  EXPECT_EQ(run.status, 255);
  const std::string failure =
      "Verifying eeprom against " + File("data2.bin") + ":  failed (Verify failed)\n";
  EXPECT_NE(run.out.find(failure), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Erasing"), std::string::npos);

  // A two-wire part has no status register.
  run = adapter.Run(
      "24C16", {"--binary", "--readeeprom=" + File("after.bin"), "--readstatus", "--eraseall"});
  EXPECT_EQ(run.status, 255);
  EXPECT_NE(run.out.find("Reading status byte failed (Function not supported on device)\n"),
            std::string::npos);
  EXPECT_EQ(run.out.find("Erasing"), std::string::npos);

  run = adapter.Run("24C16", {"--binary", "--readeeprom=" + File("final.bin")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Bytes("after.bin"), data_);
  EXPECT_EQ(Bytes("final.bin"), data_);
}

TEST_P(CommandListTest, StatusRegisterGuardsAnSpiChip) {
  Adapter adapter(Transport(), "25C16", dir_.Path());
  RunResult run = adapter.Run(
      "25C16", {"--programstatus=0C", "--readstatus=77", "--programeeprom=" + File("data.bin"),
                "--eraseall"});
  EXPECT_EQ(run.status, 255);
  // The library's account of the refusal follows the status line.
  EXPECT_NE(run.out.find("Writing status byte OK \nReading status byte : Status=0C OK \n"
                         "Programming EEPROM with " + File("data.bin") +
                         ":  failed (Device write-protected by its status register)\n"
                         "Error: device write-protected by its status register: "),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("Erasing"), std::string::npos);

  run = adapter.Run("25C16", {"--binary", "--readeeprom=" + File("guarded.bin"),
                              "--programstatus=0", "--readstatus",
                              "--programeeprom=" + File("data.bin"),
                              "--readeeprom=" + File("back.bin")});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Writing status byte OK \nReading status byte : Status=00 OK \n"),
            std::string::npos);
  EXPECT_EQ(Bytes("guarded.bin"), std::vector<uint8_t>(2048, 0xFF));
  EXPECT_EQ(Bytes("back.bin"), data_);
}

TEST_P(CommandListTest, WritesAllLocationsOfAMicrowireChip) {
  Adapter adapter(Transport(), "93C46", dir_.Path());
  const RunResult run = adapter.Run(
      "93C46", {"--programwriteall=7", "--binary", "--readeeprom=" + File("all.bin")});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Writing all locations with 07 OK \n"), std::string::npos);
  EXPECT_EQ(Bytes("all.bin"), std::vector<uint8_t>(128, 0x07));
}

INSTANTIATE_TEST_SUITE_P(Transports, CommandListTest, ::testing::Values("LPT1", "COM1"));

// On a terminal the tool shows percentages and sets the console title.
TEST(Progress, ShownOnlyOnATerminal) {
  TempDir dir;
  WriteBytes(dir.File("data.bin"), RandomBytes(2048, 3));
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const Adapter adapter("LPT1", "24C16", dir.Path());
  ChildProcess child(VELKOISP_PATH,
                     {"--port=LPT1", "--device=24C16", "--programeeprom=" + dir.File("data.bin")},
                     slave);
  close(slave);
  std::string screen;
  char buffer[4096];
  ssize_t n;
  while ((n = read(master, buffer, sizeof buffer)) > 0) screen.append(buffer, n);
  close(master);
  EXPECT_EQ(child.Finish().status, 0);
  EXPECT_NE(screen.find("\x1b]0;VELKOISP Commandline Tool v"), std::string::npos);
  EXPECT_NE(screen.find("\x1b]0;Zyl ISP Commandline Loader - 50%\x07" "50%\b\b\b"),
            std::string::npos);
  EXPECT_NE(screen.find("\b OK "), std::string::npos);
}

// SIGINT while a paced chip is programmed: the operation stops, its status
// line and the console title are finished, nothing after it runs, and
// velkoisp ends by the signal.
TEST(Progress, StoppedBySigint) {
  TempDir dir;
  WriteBytes(dir.File("data.bin"), RandomBytes(131072, 4));
  testing_support::Zylsim sim({"--device=24C1024", "--pace=1"});
  const testing_support::ScopedEnv port("ZYLISP_SERIAL_PORTS", sim.FirstLine().c_str());
  const testing_support::ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
  // A test run in the background may have been started with SIGINT ignored.
  signal(SIGINT, SIG_DFL);
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  ChildProcess child(VELKOISP_PATH,
                     {"--port=COM1", "--device=24C1024", "--programeeprom=" + dir.File("data.bin"),
                      "--eraseall"},
                     slave);
  close(slave);
  constexpr int kLimitMs = 300000;
  std::string screen = testing_support::ReadUntil(
      master, [](const std::string& s) { return s.find("%\b") != std::string::npos; }, kLimitMs);
  child.Signal(SIGINT);
  screen += testing_support::ReadUntil(master, [](const std::string&) { return false; }, kLimitMs);
  close(master);
  EXPECT_EQ(child.Finish().signal, SIGINT);
  const std::string end = " failed (Operation cancelled)\r\n\x1b]0;VELKOISP Commandline Tool v" +
                          std::string(Zyl_GetDLLversion()) + "\x07";
  ASSERT_GE(screen.size(), end.size()) << screen;
  EXPECT_EQ(screen.substr(screen.size() - end.size()), end);
}

}  // namespace
