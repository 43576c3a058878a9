// One serial device, as the serial driver uses it: opened exclusively, raw
// 8N1 at one rate, bytes in and out within time limits, the modem lines.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ports/serial_error.h"

namespace zylisp {

// Every wait sleeps in poll() for at most what is left of its limit, on the
// caller's thread. Running out of time is a result (fewer bytes, false), not
// a failure; a failing device raises ESerialError with errno and its text.
//
// The operations the driver calls are virtual, so that a test can put a
// port of its own in place of the device. The destructor closes.
class TSerialPort {
 public:
  using Milliseconds = std::chrono::milliseconds;

  TSerialPort() = default;
  virtual ~TSerialPort();
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;

  // Opens "COMk" (the k-th device of the port list) or a device path that
  // starts with '/': exclusively (another holder gives an "in use" error,
  // EBUSY), raw 8N1 at rate baud, both queues discarded, with the driver
  // asked for low latency where it has the setting. An open port is closed
  // first. On failure nothing stays held.
  virtual void Open(const std::string& name, uint32_t rate);
  // Gives back everything Open took; does nothing when closed.
  virtual void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Skipped silently on a device without modem lines (a pseudo-terminal).
  virtual void SetModemLines(bool dtr, bool rts);
  // Hands all count bytes to the device, waiting up to limit for room; the
  // number taken (fewer than count: the time ran out, the rest is dropped).
  virtual std::size_t Write(const void* data, std::size_t count, Milliseconds limit);
  // Takes up to max bytes, waiting up to limit for the first to arrive; the
  // number taken, 0 when none came in time.
  virtual std::size_t Read(void* buffer, std::size_t max, Milliseconds limit);
  // True once everything written has left the device; false when limit
  // passes first.
  virtual bool Drain(Milliseconds limit);
  // Drops everything received and not yet read.
  virtual void PurgeInput();

 private:
  using Clock = std::chrono::steady_clock;

  void RequireOpen() const;
  void Configure(uint32_t rate);
  void RequestLowLatency();
  // Sleeps until the device is ready for events or deadline passes; false
  // when the time is up.
  bool WaitFor(short events, Clock::time_point deadline);

  int fd_ = -1;
  std::string path_;            // the device opened
  bool exclusive_ = false;      // TIOCEXCL is ours to take back
  bool lowLatencySet_ = false;  // we switched it on and switch it off again
};

}  // namespace zylisp
