// Several adapters at once, as a production line programs chips: one
// velkoisp per adapter, each serial port held by one run at a time.
#include <gtest/gtest.h>

#include "support/zylsim_process.h"
#include "tool_fixture.h"

using namespace tool_testing;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteBytes;
using testing_support::Zylsim;

namespace {

std::vector<std::string> ProgramAndReadBack(const std::string& port, const TempDir& dir,
                                            const std::string& name) {
  return {"--port=" + port, "--device=24C16", "--programeeprom=" + dir.File(name + ".bin"),
          "--readeeprom=" + dir.File(name + ".back")};
}

TEST(SeveralAdapters, TwoRunsOnTwoPortsBothSucceed) {
  TempDir dir;
  WriteBytes(dir.File("a.bin"), RandomBytes(2048, 11));
  WriteBytes(dir.File("b.bin"), RandomBytes(2048, 12));
  Zylsim simA({"--device=24C16", "--image=" + dir.File("chipA")});
  Zylsim simB({"--device=24C16", "--image=" + dir.File("chipB")});
  const ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
  const ScopedEnv ports("ZYLISP_SERIAL_PORTS", (simA.FirstLine() + ":" + simB.FirstLine()).c_str());
  ChildProcess first(VELKOISP_PATH, ProgramAndReadBack("COM1", dir, "a"));
  ChildProcess second(VELKOISP_PATH, ProgramAndReadBack("COM2", dir, "b"));
  for (ChildProcess* run : {&first, &second}) {
    const RunResult result = run->Finish();
    ExpectCleanOutput(result);
    EXPECT_EQ(result.status, 0) << result.out;
  }
  // Both ends of input first: the second emulator holds the first's input.
  simA.CloseStdin();
  simB.CloseStdin();
  EXPECT_EQ(simA.Wait(), 0);
  EXPECT_EQ(simB.Wait(), 0);
  // Each chip holds its own file, on its own adapter.
  EXPECT_EQ(ReadBytes(dir.File("a.back")), ReadBytes(dir.File("a.bin")));
  EXPECT_EQ(ReadBytes(dir.File("b.back")), ReadBytes(dir.File("b.bin")));
  EXPECT_EQ(ReadBytes(dir.File("chipA")), ReadBytes(dir.File("a.bin")));
  EXPECT_EQ(ReadBytes(dir.File("chipB")), ReadBytes(dir.File("b.bin")));
}

TEST(SeveralAdapters, ASecondRunOnAPortInUseFailsAtOnce) {
  TempDir dir;
  WriteBytes(dir.File("a.bin"), RandomBytes(2048, 13));
  Zylsim sim({"--device=24C16", "--image=" + dir.File("chip")});
  const ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
  const ScopedEnv ports("ZYLISP_SERIAL_PORTS", sim.FirstLine().c_str());
  // The first run's status lines, of verifies that name the file by paths
  // of some 4000 characters, are more than its output pipe holds: once the
  // port is open, the run waits in a write, holding the port, until it is
  // read.
  std::string longPath = dir.Path();
  while (longPath.size() < 4000) longPath += "/.";
  std::vector<std::string> args = ProgramAndReadBack("COM1", dir, "a");
  args.insert(args.begin() + 3, 24, "--verifyeeprom=" + longPath + "/a.bin");
  ChildProcess first(VELKOISP_PATH, args);
  ASSERT_NE(first.ReadUntil("Programmer Firmware Version : 000A\n").find("000A"),
            std::string::npos);

  const RunResult second = RunVelkoisp({"--port=COM1", "--device=24C16", "--eraseall"});
  ExpectCleanOutput(second);
  EXPECT_EQ(second.status, 255);
  EXPECT_EQ(AfterBanner(second.out), "Port in use or not available\nError: " + sim.FirstLine() +
                                         " is in use by another program\n");

  const RunResult done = first.Finish();
  ExpectCleanOutput(done);
  EXPECT_EQ(done.status, 0) << done.out.substr(done.out.size() > 300 ? done.out.size() - 300 : 0);
  EXPECT_EQ(ReadBytes(dir.File("a.back")), ReadBytes(dir.File("a.bin")));
}

}  // namespace
