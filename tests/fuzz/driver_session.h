// One connection of a driver as the API layer makes it, chosen by a
// three-byte header:
//   byte 0: bit 0 the link (0 parallel, 1 serial), bits 1-3 the operation
//           (open only, program, verify, read, erase, read status, write
//           status, program then verify), bit 4 Microwire organisation 16;
//   byte 1: the device: a catalogue part, or a DataFlash part after them;
//   byte 2: the status byte to write, and the seed of the image.
#pragma once

#include <cstdint>

namespace zylisp {
class TDevice;
class TISPProgrammer;
}  // namespace zylisp

namespace zylsim {
class TConnectorDevice;
}  // namespace zylsim

namespace fuzz {

struct TSessionHeader {
  TSessionHeader(uint8_t link, uint8_t device, uint8_t value)
      : Serial((link & 1) != 0),
        Operation((link >> 1) & 7),
        ProgMode((link & 0x10) != 0 ? 16 : 8),
        Device(device),
        Value(value) {}
  bool Serial;
  int Operation;
  uint8_t ProgMode;
  uint8_t Device;
  uint8_t Value;
};

// The part byte 1 picks; the catalogue has no DataFlash part, so a small
// AT45DB011 of this file's own stands in after the catalogue's.
zylisp::TDevice& SessionDevice(uint8_t pick);

// Opens the driver, runs the operation and closes it. The library's own
// failures and the serial port's end the operation quietly; anything else
// escapes.
void RunSession(zylisp::TISPProgrammer& driver, const TSessionHeader& header);

// RunSession with the driver's parallel port simulated at LPT1, with
// connector plugged into it.
void RunParallelSession(zylisp::TISPProgrammer& driver, zylsim::TConnectorDevice& connector,
                        const TSessionHeader& header);

}  // namespace fuzz
