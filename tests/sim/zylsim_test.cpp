// The zylsim program, spawned as a user would run it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/test_files.h"
#include "support/zylsim_process.h"

namespace {

using testing_support::ReadUntil;
using testing_support::Zylsim;

class Terminal {
 public:
  explicit Terminal(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) throw std::runtime_error("open " + path);
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~Terminal() { close(fd_); }
  std::string Ask(const std::string& command, std::size_t n) {
    if (write(fd_, command.data(), command.size()) != ssize_t(command.size())) return "";
    return ReadUntil(fd_, [n](const std::string& s) { return s.size() >= n; });
  }
  // The host's synchronisation: '*', one reply byte (the emulator's is CR).
  void Synchronise() { EXPECT_EQ(Ask("*", 1), "\r"); }

 private:
  int fd_ = -1;
};

TEST(Zylsim, ServesOnAPseudoTerminalUntilStdinCloses) {
  testing_support::TempDir dir;
  const std::string image = dir.File("chip.bin");
  Zylsim sim({"--device=24C02", "--image=" + image, "--stats"});
  const std::string path = sim.FirstLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  {
    Terminal t(path);
    t.Synchronise();
    EXPECT_EQ(t.Ask("S", 10), "EEPROMISP\r");
    EXPECT_EQ(t.Ask("v", 5), "000A\r");
    EXPECT_EQ(t.Ask("M00", 1), "\r");
    EXPECT_EQ(t.Ask("X", 1), "\r");
    EXPECT_EQ(t.Ask(std::string("w\xA0", 2), 1), "\r");
    EXPECT_EQ(t.Ask(std::string("w\x10", 2), 1), "\r");
    EXPECT_EQ(t.Ask(std::string("W\x02\x12\x34", 4), 1), "\r");
  }
  // The close wrote the image back; once it is there the server has seen the
  // close, and a new connection cannot be taken for the old one.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!testing_support::FileExists(image) && std::chrono::steady_clock::now() < end)
    usleep(1000);
  ASSERT_TRUE(testing_support::FileExists(image));
  {
    // A second connection finds the chip as the first left it.
    Terminal t(path);
    t.Synchronise();
    t.Ask("M00", 1);
    t.Ask("X", 1);
    t.Ask(std::string("w\xA0", 2), 1);
    t.Ask(std::string("w\x10", 2), 1);
    t.Ask("X", 1);
    t.Ask(std::string("w\xA1", 2), 1);
    EXPECT_EQ(t.Ask(std::string("R\x02", 2), 3), "\x12\x34\r");
  }
  sim.CloseStdin();
  EXPECT_EQ(sim.Wait(), 0);
  const std::string out = sim.Stdout();
  EXPECT_NE(out.find("bytes_from_host "), std::string::npos) << out;
  EXPECT_NE(out.find("passes 0"), std::string::npos) << out;
  EXPECT_TRUE(sim.Stderr().empty());
  const auto saved = testing_support::ReadBytes(image);
  ASSERT_EQ(saved.size(), 256u);
  EXPECT_EQ(saved[0x10], 0x12);
  EXPECT_EQ(saved[0x11], 0x34);
}

TEST(Zylsim, AnotherProgramTryingThePortDoesNotResetTheAdapter) {
  Zylsim sim({"--device=24C02"});
  const std::string path = sim.FirstLine();
  Terminal t(path);
  t.Synchronise();
  t.Ask("M00", 1);
  t.Ask("X", 1);
  t.Ask(std::string("w\xA0", 2), 1);
  t.Ask(std::string("w\x10", 2), 1);
  // Half a command on the line when a second program opens and closes the
  // port; the adapter must still be in the middle of it.
  EXPECT_EQ(t.Ask(std::string("W\x02\x12", 3), 0), "");
  { Terminal other(path); }
  EXPECT_EQ(t.Ask("\x34", 1), "\r");
}

// A host killed while it held the port exclusively leaves the port free.
TEST(Zylsim, APortHeldByAKilledHostIsFreeAgain) {
  Zylsim sim({"--device=24C02"});
  const std::string path = sim.FirstLine();
  const pid_t host = fork();
  if (host == 0) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || ioctl(fd, TIOCEXCL) != 0) _exit(1);
    for (;;) pause();
  }
  ASSERT_GT(host, 0);
  // Ended on every way out, a failed assertion included.
  struct Reaper {
    pid_t pid;
    ~Reaper() {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  } reaper{host};
  // Until the host has the flag set, and after it was killed, until the
  // emulator has seen the close: bounded waits on the flag itself.
  const auto exclusive = [&path] {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int flag = -1;
    if (fd >= 0) ioctl(fd, TIOCGEXCL, &flag);
    if (fd >= 0) close(fd);
    return flag;
  };
  const auto waitFor = [&](int wanted) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (exclusive() != wanted && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return exclusive();
  };
  ASSERT_EQ(waitFor(1), 1);
  // Another program trying the port meanwhile does not free it.
  EXPECT_EQ(exclusive(), 1);
  kill(host, SIGKILL);
  waitpid(host, nullptr, 0);
  EXPECT_EQ(waitFor(0), 0);
}

TEST(Zylsim, TerminationSignalPersistsAndExitsCleanly) {
  testing_support::TempDir dir;
  const std::string image = dir.File("chip.bin");
  Zylsim sim({"--device=93C46", "--org=16", "--image=" + image, "--firmware=000B"});
  const std::string path = sim.FirstLine();
  {
    Terminal t(path);
    t.Synchronise();
    EXPECT_EQ(t.Ask("v", 5), "000B\r");
    t.Ask("M02", 1);
    t.Ask("X", 1);
    t.Ask(std::string("W\x09\x98\x00", 4), 1);
    t.Ask("x", 1);
    t.Ask("X", 1);
    t.Ask(std::string("W\x09\xA0\x00", 4), 1);  // word 0
    t.Ask(std::string("w\xBE", 2), 1);
    t.Ask(std::string("w\xEF", 2), 1);
    t.Ask("x", 1);
    EXPECT_EQ(t.Ask("Z", 1), "\r");
    sim.Signal(SIGTERM);
  }
  EXPECT_EQ(sim.Wait(), 0);
  const auto saved = testing_support::ReadBytes(image);
  ASSERT_EQ(saved.size(), 128u);
  EXPECT_EQ(saved[0], 0xEF);
  EXPECT_EQ(saved[1], 0xBE);
}

TEST(Zylsim, BadOptionsExitWithStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--device=24C02", "--colour=red"},
      {"--device=24C02", "--org=12"},
      {"--device=24C99"},
      {"--device=24C02", "--stats=1"},
      {"--device=24C02", "-v"},
      {"--device=24C02", "--fault=melt"},
      {"--device=24C02", "--latency=x"},
      {"--device=24C02", "--image=/nonexist/x.bin"},
      {"device=24C02"},
  };
  for (const auto& args : cases) {
    Zylsim sim(args);
    EXPECT_EQ(sim.Wait(), 2) << (args.empty() ? "" : args.back());
    const std::string err = sim.Stderr();
    EXPECT_EQ(err.rfind("zylsim: ", 0), 0u) << err;
    EXPECT_TRUE(sim.Stdout().empty());
  }
}

TEST(Zylsim, WrongSizedImageIsRefusedAndKept) {
  testing_support::TempDir dir;
  const std::string image = dir.File("chip.bin");
  testing_support::WriteFile(image, "short");
  Zylsim sim({"--device=24C02", "--image=" + image});
  EXPECT_EQ(sim.Wait(), 2);
  EXPECT_NE(sim.Stderr().find("holds 5 bytes"), std::string::npos);
  EXPECT_EQ(testing_support::ReadFile(image), "short");
}

TEST(Zylsim, HelpDescribesTheOptions) {
  Zylsim sim({"--help"});
  EXPECT_EQ(sim.Wait(), 0);
  const std::string out = sim.Stdout();
  for (const char* option : {"--device=", "--fitted=", "--image=", "--org=", "--firmware=", "--identity=",
                             "--pace=", "--latency=", "--fault=", "--stats"})
    EXPECT_NE(out.find(option), std::string::npos) << option;
}

}  // namespace
