// TSerialPort over pseudo-terminal pairs: the port opens the slave side, the
// test plays the far end on the master side.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "ports/serial_line_rate.h"
#include "ports/serial_port.h"
#include "support/test_files.h"

using namespace zylisp;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr auto kPatience = std::chrono::seconds(20);

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
  int Slave() const { return slave_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  void Send(const std::string& bytes) {
    ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(master_, bytes.data(), bytes.size()));
  }
  // Reads what the port sent, up to count bytes, waiting generously.
  std::string Receive(std::size_t count) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master_, POLLIN, 0};
      poll(&p, 1, 100);
      char buffer[4096];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
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

// Waits (sleeping in poll) until the condition holds or patience runs out.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    poll(nullptr, 0, 5);
  }
  return true;
}

// Reads that cannot hang a broken test forever.
TTimeouts Generous() {
  TTimeouts t;
  t.ReadConstant = 20000;
  t.WriteConstant = 20000;
  return t;
}

template <typename Action>
void ExpectSerialError(Action action, int code, const std::string& text) {
  try {
    action();
    ADD_FAILURE() << "no ESerialError, expected \"" << text << "\"";
  } catch (const ESerialError& e) {
    EXPECT_EQ(code, e.ErrorCode()) << e.what();
    EXPECT_NE(std::string::npos, std::string(e.what()).find(text)) << e.what();
  }
}

const char* const kClosed = "Can't perform this operation on a closed port";

TEST(SerialPortTest, ClosedPortHasInitialSettingsAndRefusesTransfers) {
  TSerialPort port;
  EXPECT_EQ("COM1", port.DeviceName());
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(brDefault, port.BaudRate());
  EXPECT_EQ(0, port.CustomBaudRate());
  EXPECT_EQ(dbDefault, port.DataBits());
  EXPECT_EQ(paDefault, port.Parity());
  EXPECT_EQ(sbDefault, port.StopBits());
  EXPECT_TRUE(port.Options().Empty());
  EXPECT_EQ(TFlowControl{}, port.FlowControl());
  EXPECT_EQ(17, port.Characters().XOn);
  EXPECT_EQ(19, port.Characters().XOff);
  EXPECT_EQ(4096, port.BufferSizes().Input);
  EXPECT_EQ(2048, port.BufferSizes().Output);
  EXPECT_EQ(0u, port.Timeouts().ReadConstant);

  uint8_t b = 0;
  ExpectSerialError([&] { port.ReadData(&b, 1, true); }, 0, kClosed);
  ExpectSerialError([&] { port.WriteData(&b, 1, false); }, 0, kClosed);
  ExpectSerialError([&] { port.ReadByte(); }, 0, kClosed);
  ExpectSerialError([&] { port.WriteText("x"); }, 0, kClosed);
  ExpectSerialError([&] { port.InputCount(); }, 0, kClosed);
  ExpectSerialError([&] { port.OutputCount(); }, 0, kClosed);
  ExpectSerialError([&] { port.RaiseDTR(); }, 0, kClosed);
  ExpectSerialError([&] { port.LowerRTS(); }, 0, kClosed);
  EXPECT_NO_THROW(port.FlushOutput());
  EXPECT_NO_THROW(port.ClosePort());

  // Settings changed while closed are only stored.
  port.SetBaudRate(br9600);
  port.SetCustomBaudRate(250000);
  EXPECT_EQ(brCustom, port.BaudRate());
  port.SetDeviceName("/nowhere");
  EXPECT_EQ("/nowhere", port.DeviceName());
}

TEST(SerialPortTest, SettingsReachTheDeviceAtOpenAndWhenChanged) {
  PtyPair pty;
  TSerialPort port;
  port.SetDeviceName(pty.Path());
  port.SetBaudRate(br115200);
  port.SetDataBits(db8);
  port.SetParity(paNone);
  port.SetStopBits(sb1);
  // The pty starts cooked; closed-port changes must not touch it.
  EXPECT_NE(0u, pty.Line().c_lflag & ICANON);
  port.OpenPort();
  ASSERT_TRUE(port.Active());

  termios t = pty.Line();
  EXPECT_EQ(B115200, cfgetospeed(&t));
  EXPECT_EQ(static_cast<tcflag_t>(CS8), t.c_cflag & CSIZE);
  EXPECT_EQ(0u, t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
  EXPECT_NE(0u, t.c_cflag & (CREAD | CLOCAL));
  EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
  EXPECT_EQ(0u, t.c_oflag & OPOST);
  EXPECT_EQ(0u, t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP | INPCK));

  // A pty keeps 8 bits without parity, but takes rates and stop bits.
  port.SetStopBits(sb1_5);
  port.SetBaudRate(br9600);
  t = pty.Line();
  EXPECT_EQ(B9600, cfgetospeed(&t));
  EXPECT_NE(0u, t.c_cflag & CSTOPB);
  port.SetStopBits(sb1);
  EXPECT_EQ(0u, pty.Line().c_cflag & CSTOPB);

  TFlowControl flow;
  flow.XOnXOff = xcInputOutput;
  flow.RTS = rcHandshake;
  port.SetFlowControl(flow);
  port.SetOptions({opCheckParity});
  t = pty.Line();
  EXPECT_EQ(static_cast<tcflag_t>(IXON | IXOFF | INPCK), t.c_iflag & (IXON | IXOFF | INPCK));
  EXPECT_NE(0u, t.c_cflag & CRTSCTS);
  port.SetFlowControl(TFlowControl{});
  port.SetOptions({});

  // Rates without a termios constant go through the kernel's arbitrary rates.
  port.SetBaudRate(br14400);
  EXPECT_EQ(14400u, GetLineRate(pty.Slave()));
  port.SetCustomBaudRate(250000);
  EXPECT_EQ(brCustom, port.BaudRate());
  EXPECT_EQ(250000u, GetLineRate(pty.Slave()));
  port.SetBaudRate(br115200);
  t = pty.Line();
  EXPECT_EQ(B115200, cfgetospeed(&t));
  EXPECT_EQ(B115200, cfgetispeed(&t));
  EXPECT_EQ(115200u, GetLineRate(pty.Slave()));

  // Refused changes leave the stored value as it was.
  port.SetDataBits(db8);
  ExpectSerialError([&] { port.SetDataBits(db4); }, EINVAL, "4 data bits");
  EXPECT_EQ(db8, port.DataBits());
  ExpectSerialError([&] { port.SetCustomBaudRate(-5); }, EINVAL, "baud");
  EXPECT_EQ(br115200, port.BaudRate());

  // A pty has no modem lines: these are skipped without complaint.
  EXPECT_NO_THROW(port.RaiseDTR());
  EXPECT_NO_THROW(port.RaiseRTS());
  EXPECT_NO_THROW(port.LowerDTR());
  EXPECT_NO_THROW(port.LowerRTS());
  EXPECT_NO_THROW(port.FlushOutput());
  port.ClosePort();
  EXPECT_FALSE(port.Active());
}

TEST(SerialPortTest, BytesTravelBothWaysUntranslated) {
  PtyPair pty;
  TSerialPort port;
  port.SetDeviceName(pty.Path());
  port.SetBaudRate(br115200);
  port.SetDataBits(db8);
  port.SetTimeouts(Generous());
  port.OpenPort();

  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);

  pty.Send(all);
  std::string got(256, '\0');
  port.ReadData(&got[0], 256, true);
  EXPECT_EQ(all, got);

  pty.Send("\r\x13");
  EXPECT_EQ('\r', port.ReadByte());
  EXPECT_EQ(0x13, port.ReadByte());

  port.WriteByte('*');
  port.WriteText(all);
  port.WriteData("\n\r", 2, true);
  port.FlushOutput();
  EXPECT_EQ("*" + all + "\n\r", pty.Receive(259));
}

TEST(SerialPortTest, QueueCountsFollowTheData) {
  PtyPair pty;
  TSerialPort port;
  port.SetDeviceName(pty.Path());
  port.SetTimeouts(Generous());
  port.OpenPort();
  EXPECT_EQ(0, port.InputCount());
  EXPECT_EQ(0, port.OutputCount());

  pty.Send("abc");
  ASSERT_TRUE(Eventually([&] { return port.InputCount() == 3; }));
  EXPECT_EQ('a', port.ReadByte());
  EXPECT_EQ(2, port.InputCount());

  // More than the pty holds: the rest waits in the port, counted as output,
  // and moves on while the far end reads and the counts are polled.
  std::string big(256 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 256);
  port.WriteText(big);
  EXPECT_GT(port.OutputCount(), 0);
  std::string received;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (received.size() < big.size() && std::chrono::steady_clock::now() < deadline) {
    received += pty.Receive(std::min<std::size_t>(4096, big.size() - received.size()));
    port.OutputCount();
  }
  EXPECT_TRUE(received == big);
  EXPECT_EQ(0, port.OutputCount());
}

TEST(SerialPortTest, ReadOfZeroBytesCompletesThePreviousRead) {
  PtyPair pty;
  TSerialPort port;
  port.SetDeviceName(pty.Path());
  port.SetTimeouts(Generous());
  port.OpenPort();

  port.ReadData(nullptr, 0, false);  // nothing to complete: returns at once

  char buffer[5] = {};
  port.ReadData(buffer, 4, false);
  pty.Send("wxyz");
  port.ReadData(nullptr, 0, false);
  EXPECT_STREQ("wxyz", buffer);

  ExpectSerialError([&] { port.ReadData(buffer, -1, true); }, EINVAL, "size");
}

TEST(SerialPortTest, ShortReadsWithinTheLimitsTimeOut) {
  PtyPair pty;
  TSerialPort port;
  port.SetDeviceName(pty.Path());
  TTimeouts t;
  t.ReadConstant = 100;
  port.SetTimeouts(t);
  port.OpenPort();

  pty.Send("ab");
  char buffer[4] = {};
  ExpectSerialError([&] { port.ReadData(buffer, 4, true); }, 0, "Timeout");
  EXPECT_EQ('a', buffer[0]);
  EXPECT_EQ('b', buffer[1]);
  ExpectSerialError([&] { port.ReadByte(); }, 0, "Timeout");

  // Only what has arrived: no waiting at all.
  t = TTimeouts{};
  t.ReadInterval = TTimeouts::kMaxTimeout;
  port.SetTimeouts(t);
  ExpectSerialError([&] { port.ReadByte(); }, 0, "Timeout");

  // A non-waiting read that comes up short fails when it is completed.
  t = TTimeouts{};
  t.ReadConstant = 50;
  port.SetTimeouts(t);
  port.ReadData(buffer, 2, false);
  ExpectSerialError([&] { port.ReadData(nullptr, 0, false); }, 0, "Timeout");

  // A gap longer than ReadInterval after the first byte ends the read.
  t = TTimeouts{};
  t.ReadInterval = 50;
  port.SetTimeouts(t);
  pty.Send("q");
  buffer[0] = 0;
  ExpectSerialError([&] { port.ReadData(buffer, 3, true); }, 0, "Timeout");
  EXPECT_EQ('q', buffer[0]);

  // The port is still usable afterwards.
  pty.Send("z");
  port.SetTimeouts(Generous());
  EXPECT_EQ('z', port.ReadByte());
}

TEST(SerialPortTest, WriteThatCannotFinishInTimeTimesOut) {
  PtyPair pty;
  TSerialPort port;
  port.SetDeviceName(pty.Path());
  TTimeouts t;
  t.WriteConstant = 100;
  port.SetTimeouts(t);
  port.OpenPort();
  // Nobody reads the far end, so the pty fills up.
  const std::string big(256 * 1024, 'x');
  ExpectSerialError([&] { port.WriteData(big.data(), static_cast<int32_t>(big.size()), true); }, 0,
                    "Timeout");
  // The unsent rest was dropped, not kept as pending output.
  EXPECT_EQ(0, port.OutputCount());
}

TEST(SerialPortTest, FarEndHangingUpIsAnErrorNotAHang) {
  PtyPair pty;
  TSerialPort port;
  port.SetDeviceName(pty.Path());
  port.OpenPort();  // all-zero timeouts: would wait forever for data
  pty.CloseMaster();
  EXPECT_THROW(port.ReadByte(), ESerialError);
}

TEST(SerialPortTest, SecondOpenOfTheSameDeviceIsRefused) {
  PtyPair pty;
  TSerialPort first;
  first.SetDeviceName(pty.Path());
  first.OpenPort();
  first.OpenPort();  // already open: nothing happens
  EXPECT_TRUE(first.Active());

  TSerialPort second;
  second.SetDeviceName(pty.Path());
  ExpectSerialError([&] { second.OpenPort(); }, EBUSY, "in use");
  EXPECT_FALSE(second.Active());

  first.ClosePort();
  EXPECT_NO_THROW(second.OpenPort());
  EXPECT_TRUE(second.Active());
}

TEST(SerialPortTest, DeviceNameChangesOnlyWhileClosed) {
  PtyPair pty;
  TSerialPort port;
  port.SetDeviceName(pty.Path());
  port.OpenPort();
  EXPECT_NO_THROW(port.SetDeviceName(pty.Path()));
  ExpectSerialError([&] { port.SetDeviceName("COM2"); }, 0,
                    "Can't perform this operation on an open port");
  EXPECT_EQ(pty.Path(), port.DeviceName());
  port.ClosePort();
  port.SetDeviceName("COM2");
  EXPECT_EQ("COM2", port.DeviceName());
}

TEST(SerialPortTest, OpensComNamesAndFailsCleanly) {
  PtyPair pty;
  TempDir dir;
  const std::string plainFile = dir.File("not-a-tty");
  WriteFile(plainFile, "x");
  const std::string list = pty.Path() + ":" + plainFile;
  ScopedEnv ports("ZYLISP_SERIAL_PORTS", list.c_str());

  TSerialPort port;
  port.SetTimeouts(Generous());
  port.OpenPort();  // COM1, the initial name
  pty.Send("k");
  EXPECT_EQ('k', port.ReadByte());
  port.ClosePort();

  port.SetDeviceName("COM2");
  ExpectSerialError([&] { port.OpenPort(); }, ENOTTY, "not a serial device");
  EXPECT_FALSE(port.Active());
  port.SetDeviceName("COM3");
  ExpectSerialError([&] { port.OpenPort(); }, ENODEV, "COM3");
  port.SetDeviceName(dir.File("missing"));
  ExpectSerialError([&] { port.OpenPort(); }, ENOENT, "missing");
  EXPECT_FALSE(port.Active());

  // Nothing was left held by the failures.
  port.SetDeviceName(pty.Path());
  EXPECT_NO_THROW(port.OpenPort());
}

}  // namespace
