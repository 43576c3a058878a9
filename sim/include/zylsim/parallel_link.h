// The adapter's side of the parallel-port connector. Bit p (1..17) of a pin
// word is the electrical level of connector pin p.
//
// Host-driven: 16 DataOut, 14 Clock, 17 Select, 1 Run (low holds the adapter
// in reset), 2..9 data (driven high while in use, not used by the adapter).
// Adapter-driven: 10 Ready, 11 DataIn.
//
// Handshake: idle, Ready is high and DataIn tells whether the adapter has a
// byte for the host (low) or waits for one (high). Each Clock rise moves one
// bit, most significant first: when the adapter has nothing to send it
// latches DataOut and answers with the next bit of the echo 0x2A on DataIn,
// otherwise it puts the next bit of its byte on DataIn; either way Ready goes
// low, and rises again when Clock falls. While the firmware works (bus bit
// times, write cycles, 'Z' waits) Ready stays low after the Clock fall for
// one host pin access per microsecond of virtual time. Each pin access, and
// each wait of the host, is time that passes for the chip as well.
// Everything happens synchronously inside HostPins, DevicePins and Elapse.
//
// Run falling writes the image back (Emulator::Persist, which may throw);
// Run rising boots the adapter, which then offers its identity.
// Faults: silent keeps Ready low for ever; badecho echoes 0xD5.
#pragma once

#include <cstdint>

#include "zylsim/emulator.h"

namespace zylsim {

class ParallelLink {
 public:
  static constexpr uint32_t kRun = uint32_t{1} << 1;
  static constexpr uint32_t kReady = uint32_t{1} << 10;
  static constexpr uint32_t kDataIn = uint32_t{1} << 11;
  static constexpr uint32_t kClock = uint32_t{1} << 14;
  static constexpr uint32_t kDataOut = uint32_t{1} << 16;
  static constexpr uint32_t kSelect = uint32_t{1} << 17;

  explicit ParallelLink(Emulator& emulator);

  // The host drives its pins (one pin access).
  void HostPins(uint32_t levels);
  // The host reads the adapter's pins (one pin access): Ready and DataIn.
  uint32_t DevicePins();
  // The host waits without touching the pins: the firmware's work and the
  // chip's cycles go on meanwhile.
  void Elapse(uint64_t microseconds);

 private:
  void Tick();
  // Time passes at the link; idle time is handed to the firmware (and the
  // chip) in one piece when it is about to act, which is all that can see it.
  void Pass(uint64_t microseconds);
  void HandIdleTime();
  void ClockRise();
  void ClockFall();
  bool Ready() const;

  Emulator& emulator_;
  Firmware& firmware_;
  Statistics& stats_;
  uint32_t host_ = 0;
  bool running_ = false;
  bool bitPhase_ = false;  // Clock high: Ready pulled low for the bit
  bool dataIn_ = true;
  bool sending_ = false;   // the current byte goes to the host
  int bit_ = 0;            // bits of the current byte done
  uint8_t shift_ = 0;      // byte being received or sent
  uint64_t busyUs_ = 0;    // virtual work still to show as Ready low
  uint64_t idleUs_ = 0;    // time passed that the firmware has not been told of
};

}  // namespace zylsim
