// TSerialPort over pseudo-terminal pairs: the port opens the slave side, the
// test plays the far end on the master side.
#include "ports/serial_port.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>

#include "support/test_files.h"

using namespace zylisp;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds kPatience{20000};

class PtyPair {
 public:
  PtyPair() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    path_ = ttyname(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    CloseMaster();
    close(slave_);
  }
  const std::string& Path() const { return path_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(master_, bytes.data(), bytes.size()));
  }
  // What the port sent, up to count bytes, waiting generously.
  std::string Receive(std::size_t count) {
    std::string got;
    const auto deadline = Clock::now() + kPatience;
    while (got.size() < count && Clock::now() < deadline) {
      pollfd p{master_, POLLIN, 0};
      poll(&p, 1, 100);
      char buffer[4096];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  // Waits until count bytes sent to the port are waiting at its side.
  bool Arrived(int count) {
    const auto deadline = Clock::now() + kPatience;
    int waiting = 0;
    while (ioctl(slave_, FIONREAD, &waiting) == 0 && waiting < count && Clock::now() < deadline)
      poll(nullptr, 0, 5);
    return waiting >= count;
  }
  termios Line() const {
    termios t{};
    tcgetattr(slave_, &t);
    return t;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

void ExpectSerialError(const std::function<void()>& action, int code, const std::string& text) {
  try {
    action();
    ADD_FAILURE() << "no ESerialError, expected \"" << text << "\"";
  } catch (const ESerialError& e) {
    EXPECT_EQ(code, e.ErrorCode()) << e.what();
    EXPECT_NE(std::string::npos, std::string(e.what()).find(text)) << e.what();
  }
}

TEST(SerialPortTest, OpensRaw8N1AtTheRateByPathOrComName) {
  struct Row {
    bool byComName;
    uint32_t rate;
    speed_t constant;
  };
  for (const Row& row : {Row{false, 115200, B115200}, Row{true, 9600, B9600}}) {
    PtyPair pty;
    ScopedEnv ports("ZYLISP_SERIAL_PORTS", ("/dev/null:" + pty.Path()).c_str());
    TSerialPort port;
    port.Open(row.byComName ? "COM2" : pty.Path(), row.rate);
    ASSERT_TRUE(port.IsOpen());
    const termios t = pty.Line();
    EXPECT_EQ(row.constant, cfgetospeed(&t));
    EXPECT_EQ(row.constant, cfgetispeed(&t));
    EXPECT_EQ(static_cast<tcflag_t>(CS8), t.c_cflag & CSIZE);
    EXPECT_EQ(0u, t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_EQ(0u, t.c_oflag & OPOST);
    EXPECT_EQ(0u, t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP | INPCK));
    // A pty has no modem lines: skipped without complaint.
    EXPECT_NO_THROW(port.SetModemLines(true, false));
    EXPECT_NO_THROW(port.SetModemLines(false, true));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
  }
}

TEST(SerialPortTest, FailedOpensSayWhyAndHoldNothing) {
  PtyPair pty;
  TempDir dir;
  WriteFile(dir.File("plain"), "x");
  ScopedEnv ports("ZYLISP_SERIAL_PORTS", pty.Path().c_str());
  TSerialPort holder;
  holder.Open(pty.Path(), 115200);
  holder.Open(pty.Path(), 115200);  // an open port is closed first

  struct Row {
    std::string name;
    uint32_t rate;
    int code;
    std::string text;
  };
  const Row rows[] = {
      {pty.Path(), 115200, EBUSY, "is in use by another program"},
      {dir.File("plain"), 115200, ENOTTY, "not a serial device"},
      {"COM2", 115200, ENODEV, "COM2"},
      {dir.File("missing"), 115200, ENOENT, "missing"},
  };
  TSerialPort port;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ExpectSerialError([&] { port.Open(row.name, row.rate); }, row.code, row.text);
    EXPECT_FALSE(port.IsOpen());
  }
  holder.Close();
  ExpectSerialError([&] { port.Open("COM1", 12345); }, EINVAL, "12345 baud");
  // Nothing was left held by the failures.
  EXPECT_NO_THROW(port.Open("COM1", 115200));
}

TEST(SerialPortTest, ClosedPortRefusesEveryTransfer) {
  TSerialPort port;
  char b = 0;
  const std::function<void()> calls[] = {
      [&] { port.Write(&b, 1, milliseconds(0)); }, [&] { port.Read(&b, 1, milliseconds(0)); },
      [&] { port.Drain(milliseconds(0)); },        [&] { port.PurgeInput(); },
      [&] { port.SetModemLines(true, true); },
  };
  for (const auto& call : calls)
    ExpectSerialError(call, 0, "Can't perform this operation on a closed port");
  EXPECT_NO_THROW(port.Close());
}

TEST(SerialPortTest, ReadTakesWhatHasArrivedWithinItsLimit) {
  PtyPair pty;
  TSerialPort port;
  port.Open(pty.Path(), 115200);
  char buffer[300] = {};

  // Nothing comes: 0 once the limit has passed, not before.
  auto start = Clock::now();
  EXPECT_EQ(0u, port.Read(buffer, sizeof buffer, milliseconds(100)));
  EXPECT_GE(Clock::now() - start, milliseconds(100));

  // Fewer bytes than asked: what has arrived, without waiting for the rest.
  pty.Send("ab");
  ASSERT_TRUE(pty.Arrived(2));
  start = Clock::now();
  EXPECT_EQ(2u, port.Read(buffer, sizeof buffer, kPatience));
  EXPECT_LT(Clock::now() - start, kPatience / 2);
  EXPECT_EQ("ab", std::string(buffer, 2));

  // Every byte value travels both ways untranslated.
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  pty.Send(all);
  std::string got;
  while (got.size() < all.size()) {
    const std::size_t n = port.Read(buffer, sizeof buffer, kPatience);
    ASSERT_GT(n, 0u);
    got.append(buffer, n);
  }
  EXPECT_EQ(all, got);
  EXPECT_EQ(all.size(), port.Write(all.data(), all.size(), kPatience));
  EXPECT_EQ(all, pty.Receive(all.size()));
  EXPECT_TRUE(port.Drain(kPatience));
}

TEST(SerialPortTest, PurgeDropsStaleInput) {
  PtyPair pty;
  TSerialPort port;
  port.Open(pty.Path(), 115200);
  pty.Send("stale");
  ASSERT_TRUE(pty.Arrived(5));
  port.PurgeInput();
  pty.Send("k");
  char b = 0;
  ASSERT_EQ(1u, port.Read(&b, 1, kPatience));
  EXPECT_EQ('k', b);
}

TEST(SerialPortTest, WriteThatCannotFinishInTimeReturnsWhatWent) {
  PtyPair pty;
  TSerialPort port;
  port.Open(pty.Path(), 115200);
  // Nobody reads the far end, so the pty fills up.
  const std::string big(256 * 1024, 'x');
  const std::size_t sent = port.Write(big.data(), big.size(), milliseconds(100));
  EXPECT_GT(sent, 0u);
  EXPECT_LT(sent, big.size());
}

TEST(SerialPortTest, FarEndHangingUpIsAnErrorNotAHang) {
  PtyPair pty;
  TSerialPort port;
  port.Open(pty.Path(), 115200);
  pty.CloseMaster();
  char b = 0;
  EXPECT_THROW(port.Read(&b, 1, kPatience), ESerialError);
}

}  // namespace
