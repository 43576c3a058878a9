#include "zylsim/serial_link.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <stdexcept>

namespace zylsim {

namespace {

// 8N1 at 115200 baud: ten bit times per character.
constexpr auto kByteTime = std::chrono::nanoseconds(10 * 1000000000LL / 115200);

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("serial link: " + what + ": " + std::strerror(errno));
}

}  // namespace

SerialLink::SerialLink(Emulator& emulator) : emulator_(emulator), firmware_(emulator.Adapter()) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0) Fail("posix_openpt");
  try {
    if (::grantpt(master_) != 0) Fail("grantpt");
    if (::unlockpt(master_) != 0) Fail("unlockpt");
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) Fail("ptsname");
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) Fail("open " + slavePath_);
    // Raw from the start: an echoing line discipline would hand our own
    // replies back to us as host bytes.
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) Fail("tcgetattr");
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) Fail("tcsetattr");
    notify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify_ < 0) Fail("inotify_init1");
    if (::inotify_add_watch(notify_, name, IN_OPEN | IN_CLOSE) < 0) Fail("inotify_add_watch");
  } catch (...) {
    if (notify_ >= 0) ::close(notify_);
    if (slave_ >= 0) ::close(slave_);
    ::close(master_);
    throw;
  }
  emulator_.PowerOn(false);
  epoch_ = Clock::now() - std::chrono::nanoseconds(firmware_.Now());
}

SerialLink::~SerialLink() {
  ::close(notify_);
  ::close(slave_);
  ::close(master_);
}

int SerialLink::ServeUntil(const std::vector<int>& watch) {
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({notify_, POLLIN, 0});
    fds.push_back({master_, static_cast<short>(POLLIN | (outbox_.empty() ? 0 : POLLOUT)), 0});
    for (int fd : watch) fds.push_back({fd, POLLIN, 0});
    timespec timeout{};
    timespec* until = nullptr;
    if (!outbox_.empty()) {
      const auto wait = outbox_.front().due - Clock::now();
      // Ready to write now: POLLOUT decides. Otherwise sleep until it is due,
      // to the microsecond: a paced line must not lose time to rounding.
      if (wait > Clock::duration::zero()) {
        fds[1].events = POLLIN;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
        timeout.tv_nsec = static_cast<long>(ns % 1000000000);
        until = &timeout;
      }
    }
    const int n = ::ppoll(fds.data(), fds.size(), until, nullptr);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
    }
    // Opens and closes first: bytes of a new session must meet a fresh adapter.
    if (fds[0].revents != 0) HandleNotifications();
    if ((fds[1].revents & POLLIN) != 0) HandleInput();
    FlushOutput();
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].revents != 0) return fds[i].fd;
    }
  }
}

void SerialLink::HandleNotifications() {
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(notify_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((event->mask & IN_OPEN) != 0 && holders_++ == 0) {
        // A host took the free port: the reset its DTR/RTS pulse would
        // give. Input still queued now was written after the open: it is
        // the new session's and meets the fresh adapter.
        emulator_.PowerOn(false);
        firmware_.TakeWorkMicros();
        outbox_.clear();
        waiting_.clear();
        ::tcflush(slave_, TCIFLUSH);
        awaitingReply_ = false;
      }
      if ((event->mask & IN_OPEN) != 0) hostOpens_.fetch_add(1);
      if ((event->mask & IN_CLOSE) != 0) {
        if (holders_ > 0) --holders_;
        // A host that died holding the port exclusively left the flag on
        // the terminal: with nobody holding it, the port is free again.
        // (inotify merges repeated opens, so the count alone cannot tell.)
        if (!OthersHoldTheSlave()) ::ioctl(slave_, TIOCNXCL);
        // Everything the closing host wrote is queued by now: it still
        // belongs to the old session.
        HandleInput();
        try {
          emulator_.Persist();
        } catch (const std::exception& e) {
          std::cerr << "zylsim: " << e.what() << '\n';
        }
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

bool SerialLink::OthersHoldTheSlave() const {
  DIR* proc = ::opendir("/proc");
  if (!proc) return true;  // cannot tell: leave the flag as it is
  const std::string self = std::to_string(::getpid());
  bool held = false;
  while (!held) {
    const dirent* process = ::readdir(proc);
    if (!process) break;
    const std::string pid = process->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    const std::string fds = "/proc/" + pid + "/fd";
    DIR* dir = ::opendir(fds.c_str());
    if (!dir) continue;
    while (const dirent* fd = ::readdir(dir)) {
      char target[4096];
      const ssize_t n = ::readlinkat(::dirfd(dir), fd->d_name, target, sizeof target - 1);
      if (n > 0 && slavePath_.compare(0, std::string::npos, target, static_cast<std::size_t>(n)) == 0) {
        held = true;
        break;
      }
    }
    ::closedir(dir);
  }
  ::closedir(proc);
  return held;
}

void SerialLink::HandleInput() {
  const bool pace = emulator_.Config().pace;
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    // EIO: no host has the slave open (cannot happen while we hold it).
    if (n <= 0) return;
    const auto now = Clock::now();
    for (ssize_t i = 0; i < n; ++i) {
      // A paced byte has arrived once its ten bits have crossed the line.
      Clock::time_point arrival = now;
      if (pace) arrival = rxFree_ = std::max(rxFree_, now) + kByteTime;
      if (pace && !Buffered(arrival)) continue;
      awaitingReply_ = true;
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(arrival - epoch_).count();
      firmware_.Receive(buffer[i], ns > 0 ? static_cast<uint64_t>(ns) : 0);
      TakeReplies();
    }
  }
}

bool SerialLink::Buffered(Clock::time_point arrival) {
  while (!waiting_.empty() && waiting_.front() <= arrival) waiting_.pop_front();
  const Clock::time_point taken =
      std::max(epoch_ + std::chrono::nanoseconds(firmware_.Now()), sentAll_);
  if (taken <= arrival) return true;
  Statistics& stats = emulator_.Stats();
  const unsigned limit = emulator_.Config().rxBuffer;
  if (limit != 0 && waiting_.size() >= limit) {
    ++stats.rxOverruns;
    return false;
  }
  waiting_.push_back(taken);
  stats.rxPeakWaiting = std::max<uint64_t>(stats.rxPeakWaiting, waiting_.size());
  return true;
}

void SerialLink::TakeReplies() {
  const bool pace = emulator_.Config().pace;
  const auto latency = std::chrono::milliseconds(emulator_.Config().latencyMs);
  firmware_.TakeWorkMicros();  // the reply times carry the work
  while (firmware_.HasOutput()) {
    auto ready = pace ? epoch_ + std::chrono::nanoseconds(firmware_.PeekOutputTime()) : Clock::now();
    const uint8_t b = firmware_.TakeOutput();
    if (pace) sentAll_ = std::max(sentAll_, ready) + kByteTime;
    if (awaitingReply_) {
      ready += latency;
      awaitingReply_ = false;
    }
    txFree_ = std::max(txFree_, ready);
    if (pace) txFree_ += kByteTime;
    if (!emulator_.Config().silent) outbox_.push_back({b, txFree_});
  }
}

void SerialLink::FlushOutput() {
  const auto now = Clock::now();
  while (!outbox_.empty() && outbox_.front().due <= now) {
    uint8_t buffer[1024];
    std::size_t count = 0;
    while (count < sizeof buffer && count < outbox_.size() && outbox_[count].due <= now) {
      buffer[count] = outbox_[count].byte;
      ++count;
    }
    const ssize_t n = ::write(master_, buffer, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // full: the host is not reading; POLLOUT resumes it
    outbox_.erase(outbox_.begin(), outbox_.begin() + n);
  }
}

}  // namespace zylsim
