// Counters the emulator keeps while it runs, for tests and for `zylsim --stats`.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace zylsim {

struct Statistics {
  uint64_t bytesFromHost = 0;  // every byte the firmware received
  uint64_t bytesToHost = 0;    // every byte the host took from the firmware
  uint64_t commands = 0;       // complete commands, unknown ones included
  uint64_t errorReplies = 0;   // '?' + code replies
  uint64_t passes = 0;         // '%' commands (a pass begun)
  uint64_t pinAccesses = 0;    // host pin writes and reads on the parallel link
  uint64_t busBitTimes = 0;    // clock periods driven on the target bus
  uint64_t virtualMicros = 0;  // virtual time the firmware spent working
  // Paced serial line: bytes that arrived while the firmware was busy and
  // had to wait in its receive buffer (the most at any one time), and bytes
  // dropped because that buffer was full.
  uint64_t rxPeakWaiting = 0;
  uint64_t rxOverruns = 0;
  // SPI NOR flash parts: erases by size, page programs, and whether the part
  // is in 4-byte address mode now (as the session left it).
  uint64_t flashErases4k = 0;
  uint64_t flashErases32k = 0;
  uint64_t flashErases64k = 0;
  uint64_t flashChipErases = 0;
  uint64_t flashPagePrograms = 0;
  bool flashFourByteMode = false;
};

// One "name value" line per counter.
void PrintStatistics(std::ostream& out, const Statistics& stats);

}  // namespace zylsim
