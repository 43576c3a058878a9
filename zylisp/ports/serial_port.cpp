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

namespace zylisp {

namespace {

// Linux's internal "no such ioctl", which some drivers leak to user space.
constexpr int kNoIoctlCommand = 515;

[[noreturn]] void Fail(const std::string& what, int error) {
  throw ESerialError(error, what + ": " + std::strerror(error));
}

[[noreturn]] void InUse(const std::string& path) {
  throw ESerialError(EBUSY, path + " is in use by another program");
}

[[noreturn]] void HungUp(const std::string& path) {
  throw ESerialError(EIO, path + " has hung up");
}

// B0 when termios has no constant for the rate.
speed_t RateConstant(uint32_t rate) {
  static constexpr struct {
    uint32_t rate;
    speed_t constant;
  } kRates[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& r : kRates) {
    if (r.rate == rate) return r.constant;
  }
  return B0;
}

// What is left of the time until deadline, as a poll() time-out, rounded up
// so that the last wait does not turn into a string of 0 ms polls.
int MillisLeft(std::chrono::steady_clock::time_point deadline) {
  const auto ms =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
          .count();
  return ms <= 0 ? 0 : ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

TSerialPort::~TSerialPort() { TSerialPort::Close(); }

void TSerialPort::RequireOpen() const {
  if (fd_ < 0) throw ESerialError(0, "Can't perform this operation on a closed port");
}

void TSerialPort::Open(const std::string& name, uint32_t rate) {
  Close();
  const std::string path = !name.empty() && name[0] == '/' ? name : SerialDevicePath(name);
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
    Configure(rate);
    RequestLowLatency();
  } catch (...) {
    Close();
    throw;
  }
}

void TSerialPort::Close() {
  if (fd_ < 0) return;
  if (lowLatencySet_) {
    serial_struct ss{};
    if (ioctl(fd_, TIOCGSERIAL, &ss) == 0) {
      ss.flags &= ~ASYNC_LOW_LATENCY;
      ioctl(fd_, TIOCSSERIAL, &ss);
    }
    lowLatencySet_ = false;
  }
  // The exclusive flag belongs to the terminal, not to our descriptor: a
  // pseudo-terminal held open elsewhere would stay locked without this.
  if (exclusive_) ioctl(fd_, TIOCNXCL);
  close(fd_);
  fd_ = -1;
  exclusive_ = false;
  path_.clear();
}

void TSerialPort::Configure(uint32_t rate) {
  termios t{};
  if (tcgetattr(fd_, &t) != 0) Fail("Cannot read the line settings of " + path_, errno);
  // Raw bytes: no line editing, echo, signals, translation or flow control.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | IMAXBEL | IUCLC | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  // With VMIN 1 an empty queue reads as EAGAIN, so 0 bytes means hang-up.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  const speed_t constant = RateConstant(rate);
  if (constant == B0) Fail("Cannot set " + std::to_string(rate) + " baud on " + path_, EINVAL);
  // A zero input field makes the input rate follow the output rate.
  t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
  cfsetospeed(&t, constant);
  cfsetispeed(&t, constant);
  if (tcsetattr(fd_, TCSANOW, &t) != 0) Fail("Cannot set the line settings of " + path_, errno);
}

// Asks the device driver to hand each byte over at once instead of batching
// (USB serial adapters); devices without the setting ignore it.
void TSerialPort::RequestLowLatency() {
  serial_struct ss{};
  if (ioctl(fd_, TIOCGSERIAL, &ss) != 0) return;  // a pseudo-terminal, say
  if ((ss.flags & ASYNC_LOW_LATENCY) != 0) return;
  ss.flags |= ASYNC_LOW_LATENCY;
  lowLatencySet_ = ioctl(fd_, TIOCSSERIAL, &ss) == 0;
}

void TSerialPort::SetModemLines(bool dtr, bool rts) {
  RequireOpen();
  int raise = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
  int lower = (dtr ? 0 : TIOCM_DTR) | (rts ? 0 : TIOCM_RTS);
  if ((raise == 0 || ioctl(fd_, TIOCMBIS, &raise) == 0) &&
      (lower == 0 || ioctl(fd_, TIOCMBIC, &lower) == 0))
    return;
  const int error = errno;
  if (error == ENOTTY || error == EINVAL || error == EOPNOTSUPP || error == kNoIoctlCommand) return;
  Fail("Cannot set the modem lines of " + path_, error);
}

bool TSerialPort::WaitFor(short events, Clock::time_point deadline) {
  for (;;) {
    const int left = MillisLeft(deadline);
    if (left == 0) return false;
    pollfd p{fd_, events, 0};
    const int ready = poll(&p, 1, left);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot wait for " + path_, errno);
    }
    if ((p.revents & events) != 0) return true;
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) HungUp(path_);
  }
}

std::size_t TSerialPort::Write(const void* data, std::size_t count, Milliseconds limit) {
  RequireOpen();
  const Clock::time_point deadline = Clock::now() + limit;
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = write(fd_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) Fail("Cannot write to " + path_, errno);
    if (!WaitFor(POLLOUT, deadline)) break;
  }
  return done;
}

std::size_t TSerialPort::Read(void* buffer, std::size_t max, Milliseconds limit) {
  RequireOpen();
  if (max == 0) return 0;
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    const ssize_t n = read(fd_, buffer, max);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) HungUp(path_);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) Fail("Cannot read from " + path_, errno);
    if (!WaitFor(POLLIN, deadline)) return 0;
  }
}

bool TSerialPort::Drain(Milliseconds limit) {
  RequireOpen();
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    int pending = 0;
    if (ioctl(fd_, TIOCOUTQ, &pending) != 0) Fail("Cannot read the output count of " + path_, errno);
    if (pending == 0) return true;
    const int left = MillisLeft(deadline);
    if (left == 0) return false;
    // The kernel gives no event for a drained queue: sleep about as long as
    // the bytes take on the line (a byte is about 1 ms at 9600 baud), at
    // least 1 ms.
    poll(nullptr, 0, std::min(std::max(1, pending), left));
  }
}

void TSerialPort::PurgeInput() {
  RequireOpen();
  if (tcflush(fd_, TCIFLUSH) != 0) Fail("Cannot discard the input of " + path_, errno);
}

}  // namespace zylisp
