// How far velkoisp sends commands ahead on a serial port, against the
// adapter's receive buffer: the paced emulator holds rxbuffer bytes while it
// is busy and counts what it had to drop.
#include <gtest/gtest.h>

#include <sstream>

#include "support/zylsim_process.h"
#include "tool_fixture.h"

using namespace tool_testing;
using testing_support::FileExists;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;
using testing_support::Zylsim;

namespace {

// A counter of zylsim's statistics ("name value" lines).
uint64_t Counter(const std::string& stats, const std::string& name) {
  std::istringstream lines(stats);
  std::string key;
  uint64_t value = 0;
  while (lines >> key >> value)
    if (key == name) return value;
  ADD_FAILURE() << name << " missing in " << stats;
  return 0;
}

TEST(SendAhead, AWindowWorksWithinTheAdaptersReceiveBuffer) {
  struct Case {
    const char* window;  // ZYLISP_SERIAL_WINDOW; nullptr: the default
    const char* rxbuffer;
    bool fits;
  };
  const Case cases[] = {
      {nullptr, "16", true},  // the default never leaves more than 16 bytes waiting
      {"0", "1", true},       // lockstep needs no buffer at all
      {"64", "64", true},
      {"64", "16", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.window ? c.window : "default") + " in " + c.rxbuffer);
    TempDir dir;
    const std::vector<uint8_t> data = RandomBytes(2048, 21);
    WriteBytes(dir.File("data.bin"), data);
    Zylsim sim({"--device=24C16", "--image=" + dir.File("chip.bin"), "--pace=1",
                std::string("--rxbuffer=") + c.rxbuffer, "--stats"});
    const ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
    const ScopedEnv ports("ZYLISP_SERIAL_PORTS", sim.FirstLine().c_str());
    {
      const ScopedEnv window("ZYLISP_SERIAL_WINDOW", c.window);
      const RunResult run = RunVelkoisp({"--port=COM1", "--device=24C16",
                                         "--programeeprom=" + dir.File("data.bin"),
                                         "--readeeprom=" + dir.File("back.bin")});
      ExpectCleanOutput(run);
      EXPECT_EQ(run.status, c.fits ? 0 : 255) << run.out;
      EXPECT_EQ(FileExists(dir.File("back.bin")), c.fits);
      if (c.fits) {
        EXPECT_EQ(ReadBytes(dir.File("back.bin")), data);
      } else {
        EXPECT_NE(run.out.find("a smaller send-ahead window (ZYLISP_SERIAL_WINDOW, 0 for none)"),
                  std::string::npos)
            << run.out;
      }
    }
    // The same port with the default window afterwards: a lost byte leaves
    // nothing behind once the adapter has been reset.
    if (!c.fits) {
      const ScopedEnv window("ZYLISP_SERIAL_WINDOW", "16");
      const RunResult again = RunVelkoisp({"--port=COM1", "--device=24C16",
                                           "--programeeprom=" + dir.File("data.bin"),
                                           "--readeeprom=" + dir.File("back.bin")});
      EXPECT_EQ(again.status, 0) << again.out;
      EXPECT_EQ(ReadBytes(dir.File("back.bin")), data);
    }
    sim.CloseStdin();
    EXPECT_EQ(sim.Wait(), 0);
    const std::string stats = sim.Stdout();
    EXPECT_EQ(Counter(stats, "rx_overruns") > 0, !c.fits);
    if (c.fits) {
      EXPECT_LE(Counter(stats, "rx_peak_waiting"), std::stoul(c.rxbuffer));
    }
  }
}

TEST(SendAhead, AWindowThatIsNoNumberIsRefusedBeforeAnythingIsSent) {
  TempDir dir;
  WriteBytes(dir.File("data.bin"), RandomBytes(2048, 22));
  Zylsim sim({"--device=24C16", "--image=" + dir.File("chip.bin"), "--stats"});
  const ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
  const ScopedEnv ports("ZYLISP_SERIAL_PORTS", sim.FirstLine().c_str());
  for (const char* bad : {"lots", "-1", "4097", "16 "}) {
    SCOPED_TRACE(bad);
    const ScopedEnv window("ZYLISP_SERIAL_WINDOW", bad);
    const RunResult run =
        RunVelkoisp({"--port=COM1", "--device=24C16", "--programeeprom=" + dir.File("data.bin")});
    EXPECT_EQ(run.status, 255);
    EXPECT_NE(run.out.find("Error: ZYLISP_SERIAL_WINDOW=" + std::string(bad) +
                           " is not a window: give the bytes to send ahead, from 0"),
              std::string::npos)
        << run.out;
  }
  sim.CloseStdin();
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_EQ(Counter(sim.Stdout(), "bytes_from_host"), 0u);
}

}  // namespace
