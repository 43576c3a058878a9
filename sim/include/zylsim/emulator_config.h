// Emulator settings, from a configuration string or from zylsim's options.
//
// The string is comma-separated key=value pairs; each key at most once:
//   device=NAME     chip, by catalogue or AT45DB name (required): the part
//                   the adapter is set up for, and the one fitted unless
//                   fitted= says otherwise
//   fitted=NAME     the chip actually in the socket when it is not device=
//                   (a wrong part), or "none" for an empty socket
//   image=PATH      raw binary chip contents: loaded at start (a missing file
//                   is a blank chip of 0xFF; a file of another size than the
//                   chip is refused, so that nothing is ever cut off), written
//                   back atomically when the link closes or the emulator ends;
//                   a folder the image cannot be written to is refused at start
//   org=8|16        Microwire organisation (default 8)
//   firmware=TEXT   version reply to 'v' (default 000A)
//   identity=TEXT   identity reply to 'S' and at boot (default EEPROMISP)
//   pace=0|1        real-time serial line and write-cycle timing
//   latency=MS      added round trip per reply, like a USB serial adapter's
//   rxbuffer=N      paced serial line: the firmware's receive buffer holds N
//                   bytes that arrive while it is busy (default 64, 0 for no
//                   bound); bytes past N are dropped and counted as overruns
//   jedecid=0xMMTTCC  the ID an SPI NOR flash answers to 0x9F in place of
//                   its own (manufacturer, type, capacity; six hex digits),
//                   for a part the host knows only by its SFDP table
//   fault=LIST      faults separated by '+' or ';':
//     silent                   the adapter never answers (parallel: Ready
//                              never rises; serial: no reply byte)
//     badecho                  the parallel link echoes 0xD5 instead of '*'
//     busy                     write cycles never end: busy waits reply "?T"
//     error:C:N:K              the N-th command C (one character) is answered
//                              '?' K (one character) instead of running
//     ack:C:N:K                the N-th command C runs, but K (one character)
//                              comes back in place of its acknowledge
//     cut:N                    after N reply bytes since reset the adapter
//                              falls silent, as if cut off mid-reply
//     stuck:ADDR:MASK:VALUE    the bits of MASK in cell ADDR read as VALUE
//                              (numbers decimal or 0x hex)
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "zylsim/firmware.h"

namespace zylsim {

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct StuckCell {
  uint32_t address = 0;
  uint8_t mask = 0;
  uint8_t value = 0;
};

// The firmware's options (identity, version, busy, errors, cut) come from
// the keys identity, firmware and fault.
struct EmulatorConfig : FirmwareOptions {
  std::string device;
  std::string fitted;  // empty: device is fitted
  std::string image;
  int org = 8;
  bool pace = false;
  unsigned latencyMs = 0;
  unsigned rxBuffer = kDefaultRxBuffer;
  static constexpr unsigned kDefaultRxBuffer = 64;
  std::optional<uint32_t> jedecId;
  bool silent = false;
  bool badEcho = false;
  std::vector<StuckCell> stuck;

  // Parses the comma-separated string; throws ConfigError with a message
  // naming the offending key or value.
  static EmulatorConfig Parse(const std::string& text);
  // Applies one key (as zylsim's --key=value options do); throws ConfigError.
  void Set(const std::string& key, const std::string& value);
  // Throws ConfigError when a required key is missing.
  void Check() const;
  // The part in the socket; "none" when it is empty.
  const std::string& FittedChip() const { return fitted.empty() ? device : fitted; }
  bool EmptySocket() const { return fitted == "none"; }

 private:
  std::vector<std::string> given_;
};

}  // namespace zylsim
