#include "ports/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "ports/serial_enumeration.h"
#include "ports/serial_line_rate.h"

namespace zylisp {

namespace {

// Linux's internal "no such ioctl", which some drivers leak to user space.
constexpr int kNoIoctlCommand = 515;

// Longer limits than this count as none (and keep clock arithmetic sane).
constexpr uint64_t kLongestLimitMs = uint64_t{1} << 40;

[[noreturn]] void Fail(const std::string& what, int error) {
  throw ESerialError(error, what + ": " + std::strerror(error));
}

[[noreturn]] void InUse(const std::string& path) {
  throw ESerialError(EBUSY, path + " is in use by another program");
}

[[noreturn]] void TimedOut() { throw ESerialError(0, "Timeout"); }

struct TRateConstant {
  uint32_t Rate;
  speed_t Constant;
};

constexpr TRateConstant kRateConstants[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000}};

// B0 when termios has no constant for the rate.
speed_t RateConstant(uint32_t rate) {
  for (const TRateConstant& r : kRateConstants) {
    if (r.Rate == rate) return r.Constant;
  }
  return B0;
}

std::chrono::milliseconds Millis(uint64_t ms) {
  return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(ms));
}

}  // namespace

uint32_t BaudRateValue(TBaudRate rate) {
  static constexpr uint32_t kRates[] = {0,     50,    75,    110,   150,    300,    600,
                                        1200,  1800,  2000,  2400,  3600,   4800,   7200,
                                        9600,  10400, 14400, 15625, 19200,  28800,  38400,
                                        56000, 57600, 115200, 128000, 256000, 0};
  static_assert(sizeof kRates / sizeof kRates[0] == brCustom + 1, "one rate per member");
  return rate <= brCustom ? kRates[rate] : 0;
}

TCustomSerialPort::~TCustomSerialPort() {
  try {
    ClosePort();
  } catch (...) {
    // Closing must not throw out of a destructor; the device is closed anyway.
  }
}

void TCustomSerialPort::RequireOpen() const {
  if (fd_ < 0) throw ESerialError(0, "Can't perform this operation on a closed port");
}

void TCustomSerialPort::SetDeviceName(const std::string& name) {
  if (name == deviceName_) return;
  if (fd_ >= 0) throw ESerialError(0, "Can't perform this operation on an open port");
  deviceName_ = name;
}

template <typename T>
void TCustomSerialPort::Change(T& field, const T& value) {
  if (field == value) return;
  const T old = field;
  field = value;
  if (fd_ < 0) return;
  try {
    ApplyLineSettings();
  } catch (...) {
    field = old;
    throw;
  }
}

void TCustomSerialPort::SetBaudRate(TBaudRate rate) { Change(baudRate_, rate); }
void TCustomSerialPort::SetDataBits(TDataBits bits) { Change(dataBits_, bits); }
void TCustomSerialPort::SetParity(TParity parity) { Change(parity_, parity); }
void TCustomSerialPort::SetStopBits(TStopBits bits) { Change(stopBits_, bits); }
void TCustomSerialPort::SetOptions(TOptions options) { Change(options_, options); }
void TCustomSerialPort::SetFlowControl(const TFlowControl& flow) { Change(flowControl_, flow); }
void TCustomSerialPort::SetCharacters(const TCharacters& characters) {
  Change(characters_, characters);
}

void TCustomSerialPort::SetCustomBaudRate(int32_t rate) {
  if (rate == customBaudRate_ && baudRate_ == brCustom) return;
  const int32_t oldRate = customBaudRate_;
  const TBaudRate oldMember = baudRate_;
  customBaudRate_ = rate;
  baudRate_ = brCustom;
  if (fd_ < 0) return;
  try {
    ApplyLineSettings();
  } catch (...) {
    customBaudRate_ = oldRate;
    baudRate_ = oldMember;
    throw;
  }
}

void TCustomSerialPort::OpenPort() {
  if (fd_ >= 0) return;
  const std::string path =
      !deviceName_.empty() && deviceName_[0] == '/' ? deviceName_ : SerialDevicePath(deviceName_);
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == EBUSY) InUse(path);
    Fail("Cannot open " + path, error);
  }
  fd_ = fd;
  path_ = path;
  try {
    if (!isatty(fd_)) throw ESerialError(ENOTTY, path + " is not a serial device");
    // The lock stops every other opener that asks, root included; TIOCEXCL
    // stops other openers that do not ask, except root.
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      if (error == EWOULDBLOCK) InUse(path);
      Fail("Cannot lock " + path, error);
    }
    if (ioctl(fd_, TIOCEXCL) != 0) Fail("Cannot open " + path + " exclusively", errno);
    exclusive_ = true;
    if (tcflush(fd_, TCIOFLUSH) != 0) Fail("Cannot discard the queues of " + path, errno);
    ApplyLineSettings();
    RequestLowLatency();
  } catch (...) {
    Release();
    throw;
  }
}

void TCustomSerialPort::ClosePort() {
  if (fd_ < 0) return;
  // Bytes of an unfinished write that the kernel takes now are still sent;
  // the rest would have needed a wait, which closing does not do.
  if (write_.Active) {
    try {
      WriteAvailable();
    } catch (const ESerialError&) {
      // The device is going away; its error does not stop the close.
    }
  }
  Release();
}

void TCustomSerialPort::RequestLowLatency() {
  serial_struct ss{};
  if (ioctl(fd_, TIOCGSERIAL, &ss) != 0) return;  // a pseudo-terminal, say
  if ((ss.flags & ASYNC_LOW_LATENCY) != 0) return;
  ss.flags |= ASYNC_LOW_LATENCY;
  lowLatencySet_ = ioctl(fd_, TIOCSSERIAL, &ss) == 0;
}

void TCustomSerialPort::RestoreLatency() {
  if (!lowLatencySet_) return;
  lowLatencySet_ = false;
  serial_struct ss{};
  if (ioctl(fd_, TIOCGSERIAL, &ss) != 0) return;
  ss.flags &= ~ASYNC_LOW_LATENCY;
  ioctl(fd_, TIOCSSERIAL, &ss);
}

void TCustomSerialPort::Release() {
  if (fd_ >= 0) {
    RestoreLatency();
    // The exclusive flag belongs to the terminal, not to our descriptor: a
    // pseudo-terminal held open elsewhere would stay locked without this.
    if (exclusive_) ioctl(fd_, TIOCNXCL);
    close(fd_);
  }
  fd_ = -1;
  exclusive_ = false;
  path_.clear();
  read_ = TReadTransfer{};
  write_.Active = false;
  write_.Data.clear();
  write_.Done = 0;
}

void TCustomSerialPort::ApplyLineSettings() {
  termios t{};
  if (tcgetattr(fd_, &t) != 0) Fail("Cannot read the line settings of " + path_, errno);

  // Raw bytes: no line editing, echo, signals, translation or software flow
  // control unless XOnXOff asks for it.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | IMAXBEL | IUCLC);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CREAD | CLOCAL;
  // With VMIN 1 an empty queue reads as EAGAIN, so 0 bytes means hang-up.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  uint32_t rate = BaudRateValue(baudRate_);
  if (baudRate_ == brCustom) {
    if (customBaudRate_ <= 0)
      throw ESerialError(EINVAL, "Invalid baud rate " + std::to_string(customBaudRate_));
    rate = static_cast<uint32_t>(customBaudRate_);
  }
  bool arbitraryRate = false;
  if (rate != 0) {
    const speed_t constant = RateConstant(rate);
    if (constant == B0) {
      arbitraryRate = true;
    } else {
      // A zero input field makes the input rate follow the output rate.
      t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
      cfsetospeed(&t, constant);
      cfsetispeed(&t, constant);
    }
  }

  if (dataBits_ != dbDefault) {
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (dataBits_) {
      case db4:
        throw ESerialError(EINVAL, "4 data bits are not supported by " + path_);
      case db5: t.c_cflag |= CS5; break;
      case db6: t.c_cflag |= CS6; break;
      case db7: t.c_cflag |= CS7; break;
      default: t.c_cflag |= CS8; break;
    }
  }
  if (parity_ != paDefault) {
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (parity_) {
      case paOdd: t.c_cflag |= PARENB | PARODD; break;
      case paEven: t.c_cflag |= PARENB; break;
      case paMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
      case paSpace: t.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
  }
  if (stopBits_ == sb1) t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  if (stopBits_ == sb1_5 || stopBits_ == sb2) t.c_cflag |= CSTOPB;

  t.c_cc[VSTART] = characters_.XOn;
  t.c_cc[VSTOP] = characters_.XOff;

  if (flowControl_.XOnXOff == xcInput || flowControl_.XOnXOff == xcInputOutput) t.c_iflag |= IXOFF;
  if (flowControl_.XOnXOff == xcOutput || flowControl_.XOnXOff == xcInputOutput) t.c_iflag |= IXON;
  // Linux has one switch for RTS/CTS flow in both directions.
  if (options_.Contains(opOutputCTSFlow) || flowControl_.RTS == rcHandshake)
    t.c_cflag |= CRTSCTS;
  else
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  if (options_.Contains(opCheckParity))
    t.c_iflag |= INPCK;
  else
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK);

  if (tcsetattr(fd_, TCSANOW, &t) != 0) Fail("Cannot set the line settings of " + path_, errno);
  if (arbitraryRate) {
    if (const int error = SetArbitraryLineRate(fd_, rate))
      Fail("Cannot set " + std::to_string(rate) + " baud on " + path_, error);
  }

  switch (flowControl_.DTR) {
    case dcDisable: SetModemLine(TIOCM_DTR, false); break;
    case dcEnable:
    case dcHandshake: SetModemLine(TIOCM_DTR, true); break;
    default: break;
  }
  switch (flowControl_.RTS) {
    case rcDisable: SetModemLine(TIOCM_RTS, false); break;
    case rcEnable:
    case rcToggle: SetModemLine(TIOCM_RTS, true); break;
    default: break;  // rcHandshake: the kernel drives RTS
  }
}

void TCustomSerialPort::SetModemLine(int line, bool on) {
  if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return;
  const int error = errno;
  if (error == ENOTTY || error == EINVAL || error == EOPNOTSUPP || error == kNoIoctlCommand) return;
  Fail("Cannot set the modem lines of " + path_, error);
}

void TCustomSerialPort::RaiseDTR() {
  RequireOpen();
  SetModemLine(TIOCM_DTR, true);
}

void TCustomSerialPort::LowerDTR() {
  RequireOpen();
  SetModemLine(TIOCM_DTR, false);
}

void TCustomSerialPort::RaiseRTS() {
  RequireOpen();
  SetModemLine(TIOCM_RTS, true);
}

void TCustomSerialPort::LowerRTS() {
  RequireOpen();
  SetModemLine(TIOCM_RTS, false);
}

int32_t TCustomSerialPort::InputCount() {
  RequireOpen();
  // Without a thread, an unfinished write moves on only when we push it.
  if (write_.Active && write_.Done < write_.Data.size() &&
      !(write_.Limited && Clock::now() >= write_.Deadline))
    WriteAvailable();
  int count = 0;
  if (ioctl(fd_, FIONREAD, &count) != 0) Fail("Cannot read the input count of " + path_, errno);
  return count;
}

int32_t TCustomSerialPort::OutputCount() {
  RequireOpen();
  std::size_t pending = 0;
  if (write_.Active && write_.Done < write_.Data.size()) {
    if (!(write_.Limited && Clock::now() >= write_.Deadline)) WriteAvailable();
    pending = write_.Data.size() - write_.Done;
  }
  int count = 0;
  if (ioctl(fd_, TIOCOUTQ, &count) != 0) Fail("Cannot read the output count of " + path_, errno);
  const std::size_t total = static_cast<std::size_t>(count) + pending;
  return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}

void TCustomSerialPort::ReadData(void* buffer, int32_t count, bool wait) {
  RequireOpen();
  if (read_.Active) CompleteRead();
  if (count < 0) throw ESerialError(EINVAL, "Invalid read size " + std::to_string(count));
  if (count == 0) return;
  if (!buffer) throw ESerialError(EINVAL, "No buffer to read into");
  StartRead(static_cast<uint8_t*>(buffer), static_cast<std::size_t>(count));
  if (wait) CompleteRead();
}

void TCustomSerialPort::WriteData(const void* buffer, int32_t count, bool wait) {
  RequireOpen();
  if (write_.Active) CompleteWrite();
  if (count < 0) throw ESerialError(EINVAL, "Invalid write size " + std::to_string(count));
  if (count == 0) return;
  if (!buffer) throw ESerialError(EINVAL, "No data to write");
  StartWrite(static_cast<const uint8_t*>(buffer), static_cast<std::size_t>(count));
  if (wait) CompleteWrite();
}

uint8_t TCustomSerialPort::ReadByte() {
  uint8_t value = 0;
  ReadData(&value, 1, true);
  return value;
}

void TCustomSerialPort::WriteByte(uint8_t value) { WriteData(&value, 1, false); }

void TCustomSerialPort::WriteText(const std::string& text) {
  if (text.size() > INT32_MAX) throw ESerialError(EINVAL, "Text too long to write");
  WriteData(text.data(), static_cast<int32_t>(text.size()), false);
}

void TCustomSerialPort::FlushOutput() {
  if (fd_ < 0) return;
  if (write_.Active) CompleteWrite();
  while (tcdrain(fd_) != 0) {
    if (errno != EINTR) Fail("Cannot drain the output of " + path_, errno);
  }
}

bool TCustomSerialPort::WaitForInput(std::chrono::milliseconds limit) {
  RequireOpen();
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    const bool writing = write_.Active && write_.Done < write_.Data.size();
    if (writing) WriteAvailable();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd_, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
    const int ready = poll(&p, 1, left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left));
    if (ready < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot wait for " + path_, errno);
    }
    if ((p.revents & POLLIN) != 0) return true;
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
      throw ESerialError(EIO, path_ + " has hung up");
    if (Clock::now() >= deadline) return false;
  }
}

bool TCustomSerialPort::WaitForOutputSent(std::chrono::milliseconds limit) {
  RequireOpen();
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    const int32_t pending = OutputCount();
    if (pending == 0) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    if (write_.Active && write_.Done < write_.Data.size()) {
      WaitFor(POLLOUT, true, deadline);
      continue;
    }
    // The kernel gives no event for a drained queue: sleep about as long as
    // the bytes take on the line (ten bits each at the slowest common rate
    // of interest, 9600 baud, is about 1 ms), at least 1 ms.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    const long long nap = std::min<long long>(std::max<long long>(1, pending), left);
    poll(nullptr, 0, static_cast<int>(nap));
  }
}

int32_t TCustomSerialPort::ReadAvailable(void* buffer, int32_t max) {
  RequireOpen();
  if (read_.Active) CompleteRead();
  if (max <= 0) return 0;
  for (;;) {
    const ssize_t n = read(fd_, buffer, static_cast<std::size_t>(max));
    if (n > 0) return static_cast<int32_t>(n);
    if (n == 0) throw ESerialError(EIO, path_ + " has hung up");
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    Fail("Cannot read from " + path_, errno);
  }
}

void TCustomSerialPort::PurgeInput() {
  RequireOpen();
  if (read_.Active) read_ = TReadTransfer{};
  if (tcflush(fd_, TCIFLUSH) != 0) Fail("Cannot discard the input of " + path_, errno);
}

void TCustomSerialPort::StartRead(uint8_t* target, std::size_t count) {
  const Clock::time_point now = Clock::now();
  const TTimeouts& t = timeouts_;
  constexpr uint32_t kMax = TTimeouts::kMaxTimeout;
  read_ = TReadTransfer{};
  read_.Active = true;
  read_.Target = target;
  read_.Count = count;
  read_.LastByte = now;
  if (t.ReadInterval == kMax && t.ReadMultiplier == 0 && t.ReadConstant == 0) {
    read_.Limited = true;  // only what has arrived
    read_.Deadline = now;
  } else if (t.ReadInterval == kMax && t.ReadMultiplier == kMax && t.ReadConstant > 0 &&
             t.ReadConstant < kMax) {
    read_.Limited = true;
    read_.Deadline = now + Millis(t.ReadConstant);
    read_.StopAtFirstData = true;
  } else {
    const uint64_t total = uint64_t{t.ReadMultiplier} * count + t.ReadConstant;
    if (total > 0 && total < kLongestLimitMs) {
      read_.Limited = true;
      read_.Deadline = now + Millis(total);
    }
    read_.Interval = Millis(t.ReadInterval);
  }
  try {
    ReadAvailable();
  } catch (...) {
    read_.Active = false;
    throw;
  }
}

bool TCustomSerialPort::ReadAvailable() {
  while (read_.Done < read_.Count) {
    const ssize_t n = read(fd_, read_.Target + read_.Done, read_.Count - read_.Done);
    if (n > 0) {
      read_.Done += static_cast<std::size_t>(n);
      read_.LastByte = Clock::now();
      continue;
    }
    if (n == 0) throw ESerialError(EIO, path_ + " has hung up");
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
    Fail("Cannot read from " + path_, errno);
  }
  return true;
}

void TCustomSerialPort::CompleteRead() {
  // Whatever happens, this transfer is over.
  struct TEnd {
    TReadTransfer& r;
    ~TEnd() { r.Active = false; }
  } end{read_};
  while (!ReadAvailable()) {
    if (read_.StopAtFirstData && read_.Done > 0) break;
    const Clock::time_point now = Clock::now();
    bool limited = read_.Limited;
    Clock::time_point until = read_.Deadline;
    if (read_.Interval.count() > 0 && read_.Done > 0) {
      const Clock::time_point gapEnd = read_.LastByte + read_.Interval;
      if (!limited || gapEnd < until) until = gapEnd;
      limited = true;
    }
    if (limited && now >= until) break;
    WaitFor(POLLIN, limited, until);
  }
  if (read_.Done < read_.Count) TimedOut();
}

void TCustomSerialPort::StartWrite(const uint8_t* data, std::size_t count) {
  const TTimeouts& t = timeouts_;
  write_.Active = true;
  write_.Data.assign(data, data + count);
  write_.Done = 0;
  const uint64_t total = uint64_t{t.WriteMultiplier} * count + t.WriteConstant;
  write_.Limited = total > 0 && total < kLongestLimitMs;
  if (write_.Limited) write_.Deadline = Clock::now() + Millis(total);
  try {
    WriteAvailable();
  } catch (...) {
    write_.Active = false;
    throw;
  }
}

bool TCustomSerialPort::WriteAvailable() {
  while (write_.Done < write_.Data.size()) {
    const ssize_t n = write(fd_, write_.Data.data() + write_.Done, write_.Data.size() - write_.Done);
    if (n >= 0) {
      write_.Done += static_cast<std::size_t>(n);
      if (n == 0) return false;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
    Fail("Cannot write to " + path_, errno);
  }
  return true;
}

void TCustomSerialPort::CompleteWrite() {
  struct TEnd {
    TWriteTransfer& w;
    ~TEnd() {
      w.Active = false;
      w.Data.clear();
      w.Done = 0;
    }
  } end{write_};
  while (!WriteAvailable()) {
    if (write_.Limited && Clock::now() >= write_.Deadline) break;
    WaitFor(POLLOUT, write_.Limited, write_.Deadline);
  }
  if (write_.Done < write_.Data.size()) TimedOut();
}

void TCustomSerialPort::WaitFor(short events, bool limited, Clock::time_point deadline) {
  int timeoutMs = -1;
  if (limited) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return;
    // Round up, so that the last wait does not turn into a string of 0 ms polls.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    timeoutMs = ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
  }
  pollfd p{fd_, events, 0};
  const int ready = poll(&p, 1, timeoutMs);
  if (ready < 0) {
    if (errno == EINTR) return;
    Fail("Cannot wait for " + path_, errno);
  }
  if (ready > 0 && (p.revents & events) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
    throw ESerialError(EIO, path_ + " has hung up");
}

}  // namespace zylisp
