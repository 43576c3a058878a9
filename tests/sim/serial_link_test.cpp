// The serial link over a real pseudo-terminal: the test opens the slave side
// with plain termios, as a serial port, and speaks raw protocol bytes.
#include "zylsim/serial_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "firmware_host.h"
#include "support/test_files.h"

namespace {

using simtest::B;
using simtest::Bytes;

// Serves the link on its own thread until stopped.
class Server {
 public:
  explicit Server(const std::string& config) : emu_(zylsim::MakeEmulator(config)), link_(*emu_) {
    if (pipe(stop_) != 0) throw std::runtime_error("pipe");
    thread_ = std::thread([this] { link_.ServeUntil({stop_[0]}); });
  }
  ~Server() {
    Stop();
    close(stop_[0]);
    close(stop_[1]);
  }
  void Stop() {
    if (!thread_.joinable()) return;
    (void)!write(stop_[1], "x", 1);
    thread_.join();
  }
  const std::string& Path() const { return link_.SlavePath(); }
  unsigned HostOpens() const { return link_.HostOpens(); }
  zylsim::Emulator& Emu() { return *emu_; }

 private:
  std::unique_ptr<zylsim::Emulator> emu_;
  zylsim::SerialLink link_;
  int stop_[2];
  std::thread thread_;
};

class Port {
 public:
  // Opens the slave and waits until the server has seen the open, as the
  // real host waits out the adapter's reset before it writes.
  explicit Port(Server& server) {
    const unsigned before = server.HostOpens();
    fd_ = open(server.Path().c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) throw std::runtime_error("open " + server.Path());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server.HostOpens() == before && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~Port() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void Write(const Bytes& bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  // Reads n bytes, giving up after a generous limit.
  Bytes Read(std::size_t n, int limitMs = 10000) {
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (out.size() < n) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buf[256];
      const ssize_t got = read(fd_, buf, std::min(sizeof buf, n - out.size()));
      if (got <= 0) break;
      out.insert(out.end(), buf, buf + got);
    }
    return out;
  }
  Bytes Ask(const Bytes& command, std::size_t replyBytes) {
    Write(command);
    return Read(replyBytes);
  }

 private:
  int fd_ = -1;
};

void WritePage(Port& port, uint8_t control, uint8_t address, const Bytes& data) {
  EXPECT_EQ(port.Ask(B("X"), 1), B("\r"));
  EXPECT_EQ(port.Ask(Bytes{'w', control}, 1), B("\r"));
  EXPECT_EQ(port.Ask(Bytes{'w', address}, 1), B("\r"));
  Bytes w = {'W', static_cast<uint8_t>(data.size())};
  w.insert(w.end(), data.begin(), data.end());
  EXPECT_EQ(port.Ask(w, 1), B("\r"));
}

Bytes ReadPage(Port& port, uint8_t control, uint8_t address, uint8_t count) {
  port.Ask(B("X"), 1);
  port.Ask(Bytes{'w', control}, 1);
  port.Ask(Bytes{'w', address}, 1);
  port.Ask(B("X"), 1);
  port.Ask(Bytes{'w', static_cast<uint8_t>(control | 1)}, 1);
  Bytes data = port.Ask(Bytes{'R', count}, count + 1u);
  port.Ask(B("x"), 1);
  return data;
}

TEST(SerialLink, SynchronisesIdentifiesAndProgramsAcrossReopen) {
  testing_support::TempDir dir;
  const std::string image = dir.File("chip.bin");
  Server server("device=24C16,image=" + image);
  const Bytes page = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  {
    Port port(server);
    EXPECT_EQ(port.Ask(B("*"), 1), B("\r"));
    EXPECT_EQ(port.Ask(B("S"), 10), B("EEPROMISP\r"));
    EXPECT_EQ(port.Ask(B("v"), 5), B("000A\r"));
    EXPECT_EQ(port.Ask(B("M00"), 1), B("\r"));
    EXPECT_EQ(port.Ask(B("%"), 1), B("\r"));
    WritePage(port, 0xA2, 0x30, page);
    EXPECT_EQ(port.Ask(B("$"), 1), B("\r"));
  }
  {
    Port port(server);
    EXPECT_EQ(port.Ask(B("*"), 1), B("\r"));
    EXPECT_EQ(port.Ask(B("M00"), 1), B("\r"));
    Bytes expected = page;
    expected.push_back(0x0D);
    EXPECT_EQ(ReadPage(port, 0xA2, 0x30, 16), expected);
  }
  server.Stop();
  const Bytes saved = testing_support::ReadBytes(image);
  ASSERT_EQ(saved.size(), 2048u);
  EXPECT_EQ(Bytes(saved.begin() + 0x130, saved.begin() + 0x140), page);
}

TEST(SerialLink, ReopeningResetsTheAdapterAndDropsStaleReplies) {
  Server server("device=24C16");
  {
    Port port(server);
    port.Write(B("S"));  // the reply is never read
  }
  {
    Port port(server);
    port.Write(B("M0"));  // half a command
  }
  Port port(server);
  EXPECT_EQ(port.Ask(B("v"), 5), B("000A\r"));
  EXPECT_TRUE(port.Read(1, 200).empty());
}

TEST(SerialLink, PacedLineWithLatencyStillAnswersCorrectly) {
  Server server("device=24C02,pace=1,latency=2");
  Port port(server);
  EXPECT_EQ(port.Ask(B("*"), 1), B("\r"));
  EXPECT_EQ(port.Ask(B("M00"), 1), B("\r"));
  EXPECT_EQ(port.Ask(B("D05"), 1), B("\r"));
  WritePage(port, 0xA0, 0x10, {0xDE, 0xAD, 0xBE, 0xEF});
  EXPECT_EQ(ReadPage(port, 0xA0, 0x10, 4), Bytes({0xDE, 0xAD, 0xBE, 0xEF, 0x0D}));
}

TEST(SerialLink, WallTimeLetsTheChipsCyclesRunOn) {
  Server server("device=93C46");
  Port port(server);
  EXPECT_EQ(port.Ask(B("M02"), 1), B("\r"));
  for (uint8_t high : {0x98, 0x90}) {  // write enable, erase all
    port.Ask(B("X"), 1);
    EXPECT_EQ(port.Ask(Bytes{'W', 10, high, 0x00}, 1), B("\r"));
    port.Ask(B("x"), 1);
  }
  // Nothing but time passes while the erase runs; then word 0 reads erased.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  port.Ask(B("X"), 1);
  EXPECT_EQ(port.Ask(Bytes{'W', 10, 0xC0, 0x00}, 1), B("\r"));
  EXPECT_EQ(port.Ask(B("r"), 2), Bytes({0xFF, 0x0D}));
}

TEST(SerialLink, SilentAdapterSendsNothing) {
  Server server("device=24C16,fault=silent");
  Port port(server);
  port.Write(B("*S"));
  EXPECT_TRUE(port.Read(1, 300).empty());
  server.Stop();
  EXPECT_EQ(server.Emu().Stats().bytesFromHost, 2u);
}

}  // namespace
