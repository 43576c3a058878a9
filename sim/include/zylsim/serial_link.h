// The adapter on a serial line, served over a pseudo-terminal: bytes the
// host writes to the slave side reach the firmware, replies go back.
//
// The server keeps the slave side open itself, so the terminal survives the
// host closing and reopening it. A pseudo-terminal has no DTR/RTS lines, so
// the host's reset pulse cannot be seen; instead the open that makes the port
// go from no holder to one (noticed through inotify) resets the adapter and
// drops replies the previous host left unread. Further opens while a host
// holds the port (another program trying it and being refused) change
// nothing, as a real port's second open does not reset the adapter. Every
// close first takes in what the closing host wrote, then writes the image
// back. A host that writes at once after opening may race the server's
// notice of its open, as it would race a real adapter's boot after the reset
// pulse; the real host waits first.
//
// Time: the adapter's clock follows the wall clock, so the chip's write
// cycles go on while the host waits. Without pace=1 replies go out as soon
// as they exist. With pace=1 each byte takes its time on a 115200 baud 8N1
// line (10 bits) in each direction; the firmware works on a command's data
// as it arrives and each reply byte goes out as soon as it is ready and the
// line is free, so bus work overlaps the line as on a real adapter, while
// waits such as write cycles delay the replies. latency=MS delays the first
// reply byte after host bytes by MS. The silent fault swallows every reply.
//
// Receive buffer (paced line): the firmware takes a byte when it is done
// with everything before it, working or sending replies. Bytes that arrive
// while it is busy wait; with rxbuffer=N a byte arriving when N already wait
// is lost, as a small UART buffer loses it. The statistics count the most
// that ever waited and the bytes lost.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "zylsim/emulator.h"

namespace zylsim {

class SerialLink {
 public:
  // Creates the pseudo-terminal; throws std::runtime_error on failure.
  explicit SerialLink(Emulator& emulator);
  ~SerialLink();
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // The device path a host opens, such as /dev/pts/3.
  const std::string& SlavePath() const { return slavePath_; }

  // Serves the host until one of the watched descriptors is readable or
  // hung up, and returns that descriptor. Throws std::runtime_error when the
  // pseudo-terminal fails.
  int ServeUntil(const std::vector<int>& watch);

  // Opens of the slave device by hosts that the server has seen so far
  // (safe to read from another thread): a test host waits for its open to
  // count before it writes, so its bytes cannot be taken for the previous
  // session's.
  unsigned HostOpens() const { return hostOpens_.load(); }

 private:
  using Clock = std::chrono::steady_clock;
  struct Outgoing {
    uint8_t byte;
    Clock::time_point due;
  };

  void HandleNotifications();
  void HandleInput();
  // Schedules the firmware's new reply bytes on the line.
  void TakeReplies();
  void FlushOutput();
  // The receive buffer's verdict on a byte arriving at arrival: false when
  // it is lost.
  bool Buffered(Clock::time_point arrival);
  // Whether another process has the slave device open (looked up in /proc;
  // true when that cannot be read).
  bool OthersHoldTheSlave() const;

  Emulator& emulator_;
  Firmware& firmware_;
  int master_ = -1;
  int slave_ = -1;
  int notify_ = -1;
  std::string slavePath_;
  std::deque<Outgoing> outbox_;
  Clock::time_point epoch_;      // the adapter clock's zero
  Clock::time_point rxFree_{};   // when the host-to-adapter line is next idle
  Clock::time_point txFree_{};   // when the adapter-to-host line is next idle
  Clock::time_point sentAll_{};  // when the firmware's last reply byte has left it
  std::deque<Clock::time_point> waiting_;  // when each waiting byte is taken
  bool awaitingReply_ = false;   // host bytes came since the last reply byte
  unsigned holders_ = 0;         // programs that have the slave device open
  std::atomic<unsigned> hostOpens_{0};
};

}  // namespace zylsim
